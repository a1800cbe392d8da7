// The file utilities on Win32. Paths are the system's own; beyond the classic length they take
// the "\\?\" form. A link or other reparse point is refused wherever the download, log and copy
// paths must not be redirected, as symbolic links are on other systems.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <vector>

#include "utility/system/log.h"
#include "utility/system/ufile.h"
#include "utility/system/win/file_win.h"

namespace utility {

using win::isFolder;
using win::parentOf;
using win::ScopedHandle;
using win::systemPath;
using win::withoutTrailingSeparators;

namespace ufile {

namespace {

std::atomic<bool> gAlwaysCopy{false};

// Creates |path| and its missing parents; 0 or the system's code of the failing step
// (ERROR_DIRECTORY: something other than a folder is in the way).
DWORD makeDirs(const std::wstring& text) {
  const std::wstring path = withoutTrailingSeparators(text);
  if (path.empty()) return ERROR_PATH_NOT_FOUND;
  if (isFolder(path)) return ERROR_SUCCESS;
  const std::wstring parent = parentOf(path);
  if (!parent.empty() && parent.size() < path.size() && !isFolder(parent)) {
    if (const DWORD error = makeDirs(parent); error != ERROR_SUCCESS) return error;
  }
  if (::CreateDirectoryW(systemPath(path).c_str(), nullptr)) return ERROR_SUCCESS;
  const DWORD error = ::GetLastError();
  if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
    // Made by someone else meanwhile, or a file (or a link leading nowhere) has the name.
    return isFolder(path) ? ERROR_SUCCESS : ERROR_DIRECTORY;
  }
  return error;
}

// Copies |from| over |to| on another volume; 0 or the system's code of the failing step. The
// copy is made under a fresh name beside the target, reaches the disk, and only then takes the
// target's name; on any failure the temporary is removed and the target is untouched. Only a
// regular file is copied, never through a link.
DWORD copyAcrossVolumes(const std::wstring& from, const std::wstring& to) {
  BY_HANDLE_FILE_INFORMATION info{};
  ScopedHandle in = win::openRegularFileForReading(from, &info);
  if (!in.valid()) return ::GetLastError();
  const std::wstring folder = win::folderOf(to);
  std::wstring temp;
  ScopedHandle out;
  for (int attempt = 0; attempt < 16 && !out.valid(); ++attempt) {
    temp = folder + win::uniqueName(L".tarnwick-move-");
    out = win::createFreshFile(temp);
    if (!out.valid() && ::GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (!out.valid()) return ::GetLastError();
  DWORD error = ERROR_SUCCESS;
  std::vector<char> buffer(1 << 16);
  while (error == ERROR_SUCCESS) {
    DWORD got = 0;
    if (!::ReadFile(in.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
      error = ::GetLastError();
      break;
    }
    if (got == 0) break;
    if (!win::writeAll(out.get(), buffer.data(), got)) error = ::GetLastError();
  }
  if (error == ERROR_SUCCESS && !::FlushFileBuffers(out.get())) error = ::GetLastError();
  out.reset();
  in.reset();
  // Read-only, hidden and the like travel with the file, as a move would keep them.
  const DWORD kept = info.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                               FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
  if (error == ERROR_SUCCESS &&
      !::MoveFileExW(systemPath(temp).c_str(), systemPath(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error = ::GetLastError();
  }
  if (error != ERROR_SUCCESS) {
    ::DeleteFileW(systemPath(temp).c_str());
    return error;
  }
  if (kept != 0) ::SetFileAttributesW(systemPath(to).c_str(), kept);
  return ERROR_SUCCESS;
}

}  // namespace

bool exists(const std::wstring& path) {
  return !path.empty() && path.find(L'\0') == std::wstring::npos && win::followedAttributes(path).has_value();
}

bool fileSize(const std::wstring& path, uint64_t& size) {
  if (path.empty() || path.find(L'\0') != std::wstring::npos) return false;
  // Attributes only: nothing is read, and a file others hold open still answers.
  ScopedHandle file(::CreateFileW(systemPath(path).c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!file.valid() || ::GetFileType(file.get()) != FILE_TYPE_DISK ||
      !::GetFileInformationByHandle(file.get(), &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return false;
  }
  size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  return true;
}

bool readFile(const std::wstring& path, uint64_t maxSize, std::vector<uint8_t>& bytes) {
  bytes.clear();
  if (path.empty() || path.find(L'\0') != std::wstring::npos) return false;
  ScopedHandle file(::CreateFileW(systemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!file.valid() || ::GetFileType(file.get()) != FILE_TYPE_DISK || !::GetFileSizeEx(file.get(), &size)) {
    return false;
  }
  bool ok = size.QuadPart >= 0 && static_cast<uint64_t>(size.QuadPart) <= maxSize;
  try {
    if (ok) bytes.resize(static_cast<size_t>(size.QuadPart));
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  size_t done = 0;
  while (ok && done < bytes.size()) {
    const size_t left = bytes.size() - done;
    const DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
    DWORD got = 0;
    if (!::ReadFile(file.get(), bytes.data() + done, chunk, &got, nullptr) || got == 0) {
      ok = false;  // an error, or the file shrank while it was read
    } else {
      done += got;
    }
  }
  if (!ok) bytes.clear();
  return ok;
}

bool makeDir(const std::wstring& path) {
  const DWORD error = path.find(L'\0') != std::wstring::npos ? ERROR_INVALID_NAME : makeDirs(path);
  if (error == ERROR_SUCCESS) return true;
  common::logPrint("utility::ufile::makeDir", __LINE__, L"make dir failed! error = %d.", static_cast<int>(error));
  return false;
}

void setAlwaysCopyOnMoveForTesting(bool always) { gAlwaysCopy.store(always); }

bool moveFile(const std::wstring& from, const std::wstring& to, unsigned flags) {
  DWORD error = ERROR_SUCCESS;
  const bool named = !from.empty() && !to.empty() && from.find(L'\0') == std::wstring::npos &&
                     to.find(L'\0') == std::wstring::npos;
  if (!named) {
    error = ERROR_PATH_NOT_FOUND;
  } else if ((flags & 1u) == 0 && win::attributesAt(to)) {
    error = ERROR_ALREADY_EXISTS;
  } else if (gAlwaysCopy.load() ||
             !::MoveFileExW(systemPath(from).c_str(), systemPath(to).c_str(),
                            MOVEFILE_WRITE_THROUGH | ((flags & 1u) != 0 ? MOVEFILE_REPLACE_EXISTING : 0))) {
    // Across volumes the system would copy straight into the target's name: the copy is ours,
    // so the name is taken only once the file is whole.
    error = gAlwaysCopy.load() ? ERROR_NOT_SAME_DEVICE : ::GetLastError();
    if (error == ERROR_NOT_SAME_DEVICE && (flags & 2u) != 0) {
      error = copyAcrossVolumes(from, to);
      if (error == ERROR_SUCCESS) ::DeleteFileW(systemPath(from).c_str());
    }
  }
  if (error == ERROR_SUCCESS) return true;
  common::logPrint("utility::ufile::moveFile", __LINE__,
                   L"move file from [ %s ] to [ %s ] flag = %d failed! error = %d.", from.c_str(), to.c_str(),
                   static_cast<int>(flags), static_cast<int>(error));
  return false;
}

bool removeFile(const std::wstring& path) {
  // A link is removed itself, never what it leads to.
  if (!path.empty() && path.find(L'\0') == std::wstring::npos && ::DeleteFileW(systemPath(path).c_str())) return true;
  const DWORD error = path.empty() || path.find(L'\0') != std::wstring::npos ? ERROR_PATH_NOT_FOUND : ::GetLastError();
  common::logPrint("utility::ufile::removeFile", __LINE__, L"removeFile file from [ %s ] error = %d.", path.c_str(),
                   static_cast<int>(error));
  return false;
}

bool setExecutable(const std::wstring& path) {
  // Windows runs a program by its name, so a regular file needs nothing more; what is not one
  // (a link, a folder, a device, nothing) is refused as elsewhere.
  DWORD error = ERROR_PATH_NOT_FOUND;
  if (!path.empty() && path.find(L'\0') == std::wstring::npos) {
    const ScopedHandle file = win::openRegularFileForReading(path, nullptr);
    error = file.valid() ? ERROR_SUCCESS : ::GetLastError();
  }
  if (error == ERROR_SUCCESS) return true;
  common::logPrint("utility::ufile::setExecutable", __LINE__, L"set executable [ %s ] failed! error = %d.",
                   path.c_str(), static_cast<int>(error));
  return false;
}

std::wstring moduleFileName() {
  // The name may be longer than MAX_PATH: the buffer grows until the whole name fits.
  std::vector<wchar_t> buffer(MAX_PATH);
  while (buffer.size() <= 65536) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size() - 1 || (n == buffer.size() - 1 && ::GetLastError() != ERROR_INSUFFICIENT_BUFFER)) {
      std::wstring name(buffer.data(), n);
      if (name.rfind(L"\\\\?\\", 0) == 0 && name.rfind(L"\\\\?\\UNC\\", 0) != 0) name.erase(0, 4);
      return name;
    }
    buffer.resize(buffer.size() * 2);
  }
  return {};
}

std::wstring moduleDir() { return parentDir(moduleFileName()); }

}  // namespace ufile

FileHandle::~FileHandle() { close(); }

bool FileHandle::open(const std::wstring& path) {
  int error = 0;
  return open(path, error);
}

bool FileHandle::open(const std::wstring& path, int& error) {
  close();
  if (path.empty() || path.find(L'\0') != std::wstring::npos) {
    error = kErrorPathNotFound;
    return false;
  }
  // The installer runs with administrator rights: a link, junction, folder or device at the
  // path is refused and left as it is.
  if (const std::optional<DWORD> attributes = win::attributesAt(path);
      attributes &&
      (*attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) != 0) {
    error = kErrorAccessDenied;
    return false;
  }
  // Never written through what is there: a fresh file, created exclusively beside the target
  // (nothing planted under its unpredictable name is opened), takes the target's name through
  // its own handle before the first byte. A file at the path, also one hard-linked elsewhere, is
  // replaced as a name and never opened; a link planted after the check is replaced itself.
  const std::wstring folder = win::folderOf(path);
  std::wstring temp;
  ScopedHandle file;
  for (int attempt = 0; attempt < 16 && !file.valid(); ++attempt) {
    temp = folder + win::uniqueName(L".tarnwick-dl-");
    file = win::createFreshFile(temp, DELETE);
    if (!file.valid() && ::GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (!file.valid()) {
    error = static_cast<int>(::GetLastError());
    return false;
  }
  const std::wstring target = systemPath(path);
  std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + (target.size() + 1) * sizeof(wchar_t));
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = TRUE;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
  std::memcpy(rename->FileName, target.c_str(), (target.size() + 1) * sizeof(wchar_t));
  if (!::SetFileInformationByHandle(file.get(), FileRenameInfo, rename, static_cast<DWORD>(buffer.size()))) {
    // A file others hold open cannot be replaced; not every system says why.
    const DWORD failure = ::GetLastError() != ERROR_SUCCESS ? ::GetLastError() : ERROR_ACCESS_DENIED;
    FILE_DISPOSITION_INFO remove{};
    remove.DeleteFile = TRUE;
    if (!::SetFileInformationByHandle(file.get(), FileDispositionInfo, &remove, sizeof(remove))) {
      file.reset();
      ::DeleteFileW(systemPath(temp).c_str());
    }
    error = static_cast<int>(failure == ERROR_ALREADY_EXISTS ? ERROR_ACCESS_DENIED : failure);
    return false;
  }
  file_.reset(reinterpret_cast<PlatformFile::Native>(file.release()));
  error = 0;
  return true;
}

bool FileHandle::openToContinue(const std::wstring& path, uint64_t keep,
                                const std::function<void(const char*, size_t)>& kept, int& error) {
  close();
  if (path.empty() || path.find(L'\0') != std::wstring::npos) {
    error = kErrorPathNotFound;
    return false;
  }
  // No link followed; only a regular file with this one name (a hard link planted at the name
  // would be written through).
  ScopedHandle file(::CreateFileW(systemPath(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file.valid()) {
    error = static_cast<int>(::GetLastError());
    return false;
  }
  BY_HANDLE_FILE_INFORMATION facts{};
  if (::GetFileType(file.get()) != FILE_TYPE_DISK || !::GetFileInformationByHandle(file.get(), &facts) ||
      (facts.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) !=
          0 ||
      facts.nNumberOfLinks != 1) {
    error = kErrorAccessDenied;
    return false;
  }
  const uint64_t size = (static_cast<uint64_t>(facts.nFileSizeHigh) << 32) | facts.nFileSizeLow;
  LARGE_INTEGER end{};
  end.QuadPart = static_cast<LONGLONG>(keep);
  if (size < keep || !::SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) || !::SetEndOfFile(file.get())) {
    error = kErrorAccessDenied;
    return false;
  }
  LARGE_INTEGER start{};
  ::SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN);
  std::vector<char> buffer(1u << 20);
  for (uint64_t at = 0; at < keep;) {
    const DWORD want = static_cast<DWORD>(std::min<uint64_t>(buffer.size(), keep - at));
    DWORD got = 0;
    if (!::ReadFile(file.get(), buffer.data(), want, &got, nullptr) || got == 0) {
      error = got == 0 ? kErrorAccessDenied : static_cast<int>(::GetLastError());
      return false;
    }
    if (kept) kept(buffer.data(), got);
    at += got;
  }
  // Reading the kept bytes left the file position after them: writing goes on there.
  file_.reset(reinterpret_cast<PlatformFile::Native>(file.release()));
  error = 0;
  return true;
}

bool FileHandle::write(const void* bytes, size_t count) {
  return file_.valid() && win::writeAll(reinterpret_cast<HANDLE>(file_.get()), bytes, count);
}

void FileHandle::close() { file_.reset(); }

}  // namespace utility
