// Desktop shortcuts as shell links (.lnk) made through IShellLinkW and saved through
// IPersistFile.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "utility/base/strings.h"
#include "utility/system/disk.h"
#include "utility/system/log.h"
#include "utility/system/shortcut.h"
#include "utility/system/ufile.h"
#include "utility/system/win/com_win.h"

namespace helper::disk {

namespace {

void logFailure(int line, const wchar_t* text) { common::logPrint("helper::disk::createShortcut", line, text); }

bool isFolder(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

bool createShortcut(const std::wstring& linkName, const std::wstring& iconFile,
                    const std::wstring& workingFolder, const std::wstring& targetFile,
                    const std::wstring& arguments) {
  std::wstring desktop = utility::ufile::desktopDir();
  if (desktop.empty()) {
    logFailure(__LINE__, L"install 1 of create shortcut failed!");
    return false;
  }
  if (!utility::ufile::makeDir(desktop) || !isFolder(desktop)) {
    logFailure(__LINE__, L"install 2 of create shortcut failed!");
    return false;
  }
  if (desktop.back() != L'\\') desktop += L'\\';

  // The link name comes from outside (app names of a campaign): it only ever names a file in
  // the desktop folder, and the whole path stays within what the shell takes.
  const std::wstring fileName =
      desktop.size() < MAX_PATH - 1 ? shellLinkFileName(linkName, MAX_PATH - 1 - desktop.size()) : std::wstring();
  utility::com::ApartmentScope apartment;
  // The class and interface ids from the headers (__uuidof), not from libuuid's large objects.
  utility::com::ComPtr<IShellLinkW> link;
  if (fileName.empty() || targetFile.empty() || !apartment.usable() ||
      FAILED(::CoCreateInstance(__uuidof(ShellLink), nullptr, CLSCTX_INPROC_SERVER, __uuidof(IShellLinkW),
                                link.receive()))) {
    logFailure(__LINE__, L"install 3 of create shortcut failed!");
    return false;
  }
  utility::com::ComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(__uuidof(IPersistFile), file.receive()))) {
    logFailure(__LINE__, L"install 4 of create shortcut failed!");
    return false;
  }
  // No description: the shell shows the link's name.
  HRESULT result = S_OK;
  if (!workingFolder.empty()) result = link->SetWorkingDirectory(workingFolder.c_str());
  if (SUCCEEDED(result)) result = link->SetPath(targetFile.c_str());
  if (SUCCEEDED(result) && !arguments.empty()) result = link->SetArguments(arguments.c_str());
  if (SUCCEEDED(result) && !iconFile.empty()) result = link->SetIconLocation(iconFile.c_str(), 0);

  // Saved under a name of its own beside the link and moved over it, so an existing shortcut is
  // replaced whole, and one that cannot be written is left as it was.
  const std::wstring temporary = desktop + L"~" + utility::newGuidString().substr(0, 8) + L".tmp";
  if (SUCCEEDED(result)) result = file->Save(temporary.c_str(), TRUE);
  if (SUCCEEDED(result) &&
      !::MoveFileExW(temporary.c_str(), (desktop + fileName).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    result = HRESULT_FROM_WIN32(::GetLastError());
  }
  if (FAILED(result)) {
    ::DeleteFileW(temporary.c_str());
    logFailure(__LINE__, L"install 4 of create shortcut failed!");
    common::logPrint("helper::disk::createShortcut", __LINE__, L"save shortcut [ %s ] failed! error = 0x%08X.",
                     fileName.c_str(), static_cast<unsigned>(result));
    return false;
  }
  return true;
}

std::wstring desktopShortcutPath(const std::wstring& linkName) {
  std::wstring desktop = utility::ufile::desktopDir();
  if (desktop.empty()) return {};
  if (desktop.back() != L'\\') desktop += L'\\';
  const std::wstring fileName =
      desktop.size() < MAX_PATH - 1 ? shellLinkFileName(linkName, MAX_PATH - 1 - desktop.size()) : std::wstring();
  return fileName.empty() ? std::wstring() : desktop + fileName;
}

}  // namespace helper::disk
