// Drive letters on Windows are the system's own: the table lists the fixed drives, and a
// Windows path text is the system's path as it is.
#include <windows.h>

#include "utility/base/strings.h"
#include "utility/system/disk.h"
#include "utility/system/drive_table.h"

namespace utility {

std::vector<Drive> detectDriveTable() {
  std::vector<Drive> drives;
  for (const std::wstring& root : helper::disk::fixedDrives()) {
    wchar_t fileSystem[MAX_PATH + 1] = {};
    if (!::GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr, fileSystem, MAX_PATH + 1)) {
      fileSystem[0] = L'\0';
    }
    drives.push_back({root[0], wideToUtf8(root), wideToUtf8(fileSystem), "\\\\.\\" + wideToUtf8(root.substr(0, 2))});
  }
  return drives;
}

HostPath toHostPath(const std::wstring& path) {
  // No file name holds a NUL; cut at one, a checked path would name another file.
  if (path.find(L'\0') != std::wstring::npos) return {};
  return HostPath(path);
}

std::wstring fromHostPath(const HostPath& hostPath) { return hostPath.native(); }

}  // namespace utility
