#include <cstdlib>

#include "utility/system/dev_overrides.h"

namespace utility {

std::optional<std::string> devOverride(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

bool devOverridesEnabled() { return true; }

}  // namespace utility
