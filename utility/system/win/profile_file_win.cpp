// Settings files replaced whole on Win32: a new file made exclusively beside the old one (never
// through a link planted at its name), flushed to disk, then put in the old one's place. An
// existing file is replaced by ReplaceFileW, which keeps its attributes, security and creation
// time as the system's own settings writer would; a missing file, or a link at the name (which
// is replaced, never followed), by MoveFileExW through to the disk.
#include <windows.h>

#include "utility/system/profile_file.h"
#include "utility/system/win/file_win.h"

namespace utility::profile {

bool replaceFile(const HostPath& hostPath, const std::string& bytes) {
  const std::wstring target = hostPath.native();
  if (target.empty()) return false;
  const std::wstring folder = win::folderOf(target);
  std::wstring temp;
  win::ScopedHandle file;
  for (int attempt = 0; attempt < 16 && !file.valid(); ++attempt) {
    temp = folder + win::uniqueName(L".tarnwick-ini-");
    file = win::createFreshFile(temp);
    if (!file.valid() && ::GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (!file.valid()) return false;
  const std::wstring from = win::systemPath(temp);
  const std::wstring to = win::systemPath(target);
  WIN32_FILE_ATTRIBUTE_DATA old{};
  const bool regular = ::GetFileAttributesExW(to.c_str(), GetFileExInfoStandard, &old) &&
                       (old.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
  bool ok = win::writeAll(file.get(), bytes.data(), bytes.size()) && ::FlushFileBuffers(file.get());
  // The file stays the file it was: its creation time and attributes come along, whichever way
  // the new content takes its place.
  if (ok && regular) ::SetFileTime(file.get(), &old.ftCreationTime, nullptr, nullptr);
  file.reset();
  if (ok && regular) {
    const DWORD kept = old.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                               FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    if (kept != 0) ::SetFileAttributesW(from.c_str(), kept);
  }
  if (ok) {
    ok = false;
    if (regular) {
      ok = ::ReplaceFileW(to.c_str(), from.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS,
                          nullptr, nullptr) != 0;
    }
    // ReplaceFileW cannot take every file (a file system without its support, a file gone
    // meanwhile): the plain replacement still can, while the new file keeps its own name.
    if (!ok && win::attributesAt(temp)) {
      ok = ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    }
  }
  if (!ok) ::DeleteFileW(win::systemPath(temp).c_str());
  return ok;
}

}  // namespace utility::profile
