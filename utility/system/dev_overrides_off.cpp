#include "utility/system/dev_overrides.h"

namespace utility {

std::optional<std::string> devOverride(const char*) { return std::nullopt; }

bool devOverridesEnabled() { return false; }

}  // namespace utility
