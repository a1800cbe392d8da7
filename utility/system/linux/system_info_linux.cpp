// Operating-system version and architecture facts.
#include <sys/utsname.h>

#include <cstring>

#include "utility/system/fake_os.h"
#include "utility/system/usystem.h"

namespace utility::usystem {

bool isVistaOrLater() { return !isFakedOsFact(L"xp"); }

OsVersion osVersion() {
  if (isFakedOsFact(L"xp")) return {5, 1};
  if (isFakedOsFact(L"win7")) return {6, 1};
  return {10, 0};
}

bool is64BitSystem() {
  if (isFakedOsFact(L"32bit")) return false;
  struct utsname name {};
  if (::uname(&name) != 0) return false;
  return std::strcmp(name.machine, "x86_64") == 0 || std::strcmp(name.machine, "aarch64") == 0;
}

}  // namespace utility::usystem
