#include "utility/system/fake_os.h"

#include <optional>
#include <string>

#include "utility/base/strings.h"
#include "utility/system/dev_overrides.h"

namespace utility::usystem {

bool isFakedOsFact(const wchar_t* fact) {
  const std::optional<std::string> value = devOverride("TARNWICK_FAKE_OS");
  if (!value) return false;
  StringList facts;
  split(utf8ToWide(*value), L",", facts);
  for (std::wstring& item : facts) {
    toLower(item);
    if (item == fact) return true;
  }
  return false;
}

}  // namespace utility::usystem
