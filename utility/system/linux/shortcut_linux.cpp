// Desktop shortcuts as freedesktop launchers in the user's desktop folder.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "utility/system/disk.h"
#include "utility/system/drive_table.h"
#include "utility/system/log.h"
#include "utility/system/command_line_split.h"
#include "utility/system/linux/posix_file_linux.h"
#include "utility/system/shortcut.h"
#include "utility/base/strings.h"
#include "utility/system/ufile.h"

namespace helper::disk {

namespace {

void logFailure(int line, const wchar_t* text) {
  common::logPrint("helper::disk::createShortcut", line, text);
}

}  // namespace

bool createShortcut(const std::wstring& linkName, const std::wstring& iconFile,
                    const std::wstring& workingFolder, const std::wstring& targetFile,
                    const std::wstring& arguments) {
  const std::wstring desktop = utility::ufile::desktopDir();
  if (desktop.empty()) {
    logFailure(__LINE__, L"install 1 of create shortcut failed!");
    return false;
  }
  const std::string folder = utility::toHostPath(desktop).native();
  struct stat st {};
  if (folder.empty() || !utility::ufile::makeDir(desktop) || ::stat(folder.c_str(), &st) != 0 ||
      !S_ISDIR(st.st_mode)) {
    logFailure(__LINE__, L"install 2 of create shortcut failed!");
    return false;
  }

  // The link name comes from outside (app names of a campaign): it only ever names a file in
  // the desktop folder.
  const std::string fileName = launcherFileName(linkName);
  LauncherEntry entry;
  entry.name = linkName;
  entry.program = utility::toHostPath(targetFile).native();
  for (const std::wstring& argument : utility::splitCommandLine(arguments)) {
    entry.arguments.push_back(utility::wideToUtf8(argument));
  }
  if (!workingFolder.empty()) entry.workingFolder = utility::toHostPath(workingFolder).native();
  if (!iconFile.empty()) entry.icon = utility::toHostPath(iconFile).native();
  std::string temp = folder + "/.tarnwick-launcher-XXXXXX";
  std::vector<char> tempName(temp.begin(), temp.end());
  tempName.push_back('\0');
  const int fd = fileName.empty() || entry.program.empty() ? -1 : ::mkstemp(tempName.data());
  if (fd < 0) {
    logFailure(__LINE__, L"install 3 of create shortcut failed!");
    return false;
  }
  temp = tempName.data();

  // Written beside the target and renamed over it, so an existing launcher is replaced whole.
  const std::string text = launcherText(entry);
  bool ok = utility::posix::writeAll(fd, text.data(), text.size());
  ok = ::fchmod(fd, 0755) == 0 && ok;  // launchers must be executable to be trusted
  ok = ::fsync(fd) == 0 && ok;
  ok = ::close(fd) == 0 && ok;
  if (ok) ok = ::rename(temp.c_str(), (folder + "/" + fileName).c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    logFailure(__LINE__, L"install 4 of create shortcut failed!");
    return false;
  }
  return true;
}

std::wstring desktopShortcutPath(const std::wstring& linkName) {
  const std::wstring desktop = utility::ufile::desktopDir();
  const std::string fileName = launcherFileName(linkName);
  if (desktop.empty() || fileName.empty()) return {};
  return desktop + L"\\" + utility::utf8ToWide(fileName);
}

}  // namespace helper::disk
