// Operating-system version and architecture facts.
#include <sys/utsname.h>

#include <cstring>

#include "utility/system/dev_overrides.h"
#include "utility/base/strings.h"
#include "utility/system/usystem.h"

namespace utility::usystem {

namespace {

// Whether the development override TARNWICK_FAKE_OS lists |fact| ("xp", "win7", "32bit").
bool faked(const wchar_t* fact) {
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

}  // namespace

bool isVistaOrLater() { return !faked(L"xp"); }

OsVersion osVersion() {
  if (faked(L"xp")) return {5, 1};
  if (faked(L"win7")) return {6, 1};
  return {10, 0};
}

bool is64BitSystem() {
  if (faked(L"32bit")) return false;
  struct utsname name {};
  if (::uname(&name) != 0) return false;
  return std::strcmp(name.machine, "x86_64") == 0 || std::strcmp(name.machine, "aarch64") == 0;
}

}  // namespace utility::usystem
