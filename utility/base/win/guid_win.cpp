// GUIDs from the system's generator (CoCreateGuid; no COM initialisation needed).
#include <windows.h>
#include <objbase.h>

#include <cstring>

#include "utility/base/system_guid.h"

namespace utility {

bool systemGuid(GuidFields& guid) {
  GUID made{};
  if (FAILED(::CoCreateGuid(&made))) return false;
  guid.data1 = made.Data1;
  guid.data2 = made.Data2;
  guid.data3 = made.Data3;
  std::memcpy(guid.data4.data(), made.Data4, guid.data4.size());
  return true;
}

}  // namespace utility
