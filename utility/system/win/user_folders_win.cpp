// The user's roaming application-data and desktop folders, as the shell knows them.
#include <windows.h>
// The folder ids are defined here (initguid.h), not taken from libuuid, whose objects bring
// thousands of other ids (about 40 KB) into the program.
#include <initguid.h>
#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include <mutex>
#include <string>

#include "utility/system/ufile.h"

namespace utility::ufile {

namespace {

std::mutex gDesktopMutex;
HostPath gDesktopForTesting;  // guarded by gDesktopMutex

std::wstring withoutTrailingSeparator(std::wstring folder) {
  while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
  if (folder.size() == 3 && folder[1] == L':') folder.pop_back();  // "X:\" -> "X:"
  return folder;
}

std::wstring knownFolder(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  std::wstring folder;
  // Not created when missing: the callers make what they need.
  if (SUCCEEDED(::SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path)) && path != nullptr) {
    folder = path;
  }
  ::CoTaskMemFree(path);
  return withoutTrailingSeparator(std::move(folder));
}

}  // namespace

std::wstring appDataDir() { return knownFolder(FOLDERID_RoamingAppData); }

std::wstring desktopDir() {
  {
    std::lock_guard<std::mutex> lock(gDesktopMutex);
    if (!gDesktopForTesting.empty()) return withoutTrailingSeparator(gDesktopForTesting.native());
  }
  return knownFolder(FOLDERID_Desktop);
}

void setDesktopDirForTesting(const HostPath& hostPath) {
  std::lock_guard<std::mutex> lock(gDesktopMutex);
  gDesktopForTesting = hostPath;
}

}  // namespace utility::ufile
