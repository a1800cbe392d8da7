#include <fcntl.h>
#include <glib.h>
#include <glib/gstdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

#include "utility/system/drive_table.h"
#include "utility/system/log.h"
#include "utility/system/linux/posix_file_linux.h"
#include "utility/system/ufile.h"

namespace utility {
namespace ufile {

namespace {

// mkdir -p; returns 0 or the errno of the failing step (ENOTDIR: something other than a folder
// is in the way).
int makeDirs(const std::string& host) {
  if (host.empty()) return ENOENT;
  if (g_mkdir_with_parents(host.c_str(), 0755) != 0) return errno;
  // GLib takes a refused mkdir with EEXIST as done, which a dangling link also answers.
  struct stat st {};
  return ::stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

std::atomic<bool> gAlwaysCopy{false};

// Copies |from| over |to| on another volume; 0 or the errno of the failing step. The copy is
// made under a unique name beside the target (nothing else can be there first), gets the
// source's permission bits, reaches the disk, and only then takes the target's name; on any
// failure the temporary is removed and the target is untouched.
int copyAcrossVolumes(const std::string& from, const std::string& to) {
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK);
  if (in < 0) return errno;
  struct stat st {};
  // Only files are copied: a folder, device or FIFO cannot cross volumes.
  const int notCopied = ::fstat(in, &st) != 0 ? errno : (S_ISREG(st.st_mode) ? 0 : EXDEV);
  if (notCopied != 0) {
    ::close(in);
    return notCopied;
  }
  const size_t slash = to.rfind('/');
  std::string temp = (slash == std::string::npos ? std::string(".") : to.substr(0, slash == 0 ? 1 : slash));
  if (temp.back() != '/') temp.push_back('/');
  temp += ".tarnwick-move-XXXXXX";
  const int out = ::mkostemp(temp.data(), O_CLOEXEC);
  if (out < 0) {
    const int error = errno;
    ::close(in);
    return error;
  }
  int error = 0;
  // Set-id bits are not carried over: the copy may be owned by another user.
  if (::fchmod(out, st.st_mode & 0777) != 0) error = errno;
  std::vector<char> buffer(1 << 16);
  while (error == 0) {
    const ssize_t n = ::read(in, buffer.data(), buffer.size());
    if (n == 0) break;
    if (n < 0) {
      if (errno != EINTR) error = errno;
      continue;
    }
    if (!posix::writeAll(out, buffer.data(), static_cast<size_t>(n))) error = errno;
  }
  if (error == 0 && ::fsync(out) != 0) error = errno;
  if (::close(out) != 0 && error == 0) error = errno;
  ::close(in);
  if (error == 0 && ::rename(temp.c_str(), to.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temp.c_str());
    return error;
  }
  // The new name reaches the disk too (best effort: not every file system can sync a folder).
  const std::string folder = temp.substr(0, temp.rfind('/') + 1);
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return 0;
}

}  // namespace

bool exists(const std::wstring& path) {
  const std::string host = toHostPath(path).native();
  struct stat st {};
  return !host.empty() && stat(host.c_str(), &st) == 0;
}

bool fileSize(const std::wstring& path, uint64_t& size) {
  // stat, not open: opening a FIFO would wait for a writer. Only regular files have a size.
  const std::string host = toHostPath(path).native();
  struct stat st {};
  if (host.empty() || stat(host.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  size = static_cast<uint64_t>(st.st_size);
  return true;
}

bool readFile(const std::wstring& path, uint64_t maxSize, std::vector<uint8_t>& bytes) {
  bytes.clear();
  const std::string host = toHostPath(path).native();
  if (host.empty()) return false;
  struct stat st {};
  const int fd = posix::openRegularFile(host, O_RDONLY, 0, &st);  // a FIFO never holds it up
  if (fd < 0) return false;
  bool ok = st.st_size >= 0 && static_cast<uint64_t>(st.st_size) <= maxSize;
  try {
    if (ok) bytes.resize(static_cast<size_t>(st.st_size));
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  size_t done = 0;
  while (ok && done < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ok = false;  // an error, or the file shrank while it was read
    else done += static_cast<size_t>(n);
  }
  ::close(fd);
  if (!ok) bytes.clear();
  return ok;
}

bool makeDir(const std::wstring& path) {
  const int error = makeDirs(toHostPath(path).native());
  if (error == 0) return true;
  common::logPrint("utility::ufile::makeDir", __LINE__, L"make dir failed! error = %d.", error);
  return false;
}

void setAlwaysCopyOnMoveForTesting(bool always) { gAlwaysCopy.store(always); }

bool moveFile(const std::wstring& from, const std::wstring& to, unsigned flags) {
  const std::string source = toHostPath(from).native();
  const std::string target = toHostPath(to).native();
  int error = 0;
  struct stat st {};
  if (source.empty() || target.empty()) {
    error = ENOENT;
  } else if ((flags & 1u) == 0 && lstat(target.c_str(), &st) == 0) {
    error = EEXIST;
  } else if (gAlwaysCopy.load() || ::rename(source.c_str(), target.c_str()) != 0) {
    error = gAlwaysCopy.load() ? EXDEV : errno;
    if (error == EXDEV && (flags & 2u) != 0) {
      error = copyAcrossVolumes(source, target);
      if (error == 0) ::unlink(source.c_str());
    }
  }
  if (error == 0) return true;
  common::logPrint("utility::ufile::moveFile", __LINE__,
                   L"move file from [ %s ] to [ %s ] flag = %d failed! error = %d.", from.c_str(),
                   to.c_str(), flags, error);
  return false;
}

bool removeFile(const std::wstring& path) {
  const std::string host = toHostPath(path).native();
  if (!host.empty() && ::unlink(host.c_str()) == 0) return true;
  common::logPrint("utility::ufile::removeFile", __LINE__, L"removeFile file from [ %s ] error = %d.",
                   path.c_str(), host.empty() ? ENOENT : errno);
  return false;
}

bool setExecutable(const std::wstring& path) {
  const std::string host = toHostPath(path).native();
  struct stat st {};
  const int fd = host.empty() ? -1 : posix::openRegularFile(host, O_RDONLY | O_NOFOLLOW, 0, &st);
  int error = fd < 0 ? (host.empty() ? ENOENT : errno) : 0;
  if (fd >= 0) {
    // Execute for whoever may read it; set-id bits are never given.
    const mode_t mode = (st.st_mode & 0777) | ((st.st_mode & 0444) >> 2);
    if (::fchmod(fd, mode) != 0) error = errno;
    ::close(fd);
  }
  if (error == 0) return true;
  common::logPrint("utility::ufile::setExecutable", __LINE__, L"set executable [ %s ] failed! error = %d.",
                   path.c_str(), error);
  return false;
}

std::wstring moduleFileName() {
  char buffer[PATH_MAX + 1];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
  if (n <= 0) return {};
  return fromHostPath(std::string(buffer, static_cast<size_t>(n)));
}

std::wstring moduleDir() { return parentDir(moduleFileName()); }

}  // namespace ufile

namespace {

// The Windows code of a failed create, as callers and logs expect it.
int windowsCreateError(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR: return FileHandle::kErrorPathNotFound;  // the file itself is always created
    case EACCES:
    case EPERM:
    case EISDIR:
    case ELOOP:  // a link at the path itself: never followed
    case ENXIO: return FileHandle::kErrorAccessDenied;
    case EROFS: return FileHandle::kErrorWriteProtect;
    case ETXTBSY:
    case EBUSY: return FileHandle::kErrorSharingViolation;
    case EEXIST: return FileHandle::kErrorFileExists;
    case ENOSPC:
    case EDQUOT: return FileHandle::kErrorDiskFull;
    case ENOMEM: return FileHandle::kErrorNotEnoughMemory;
    case ENAMETOOLONG: return FileHandle::kErrorFilenameTooLong;
    default: return error;
  }
}

}  // namespace

FileHandle::~FileHandle() { close(); }

bool FileHandle::open(const std::wstring& path) {
  int error = 0;
  return open(path, error);
}

bool FileHandle::open(const std::wstring& path, int& error) {
  close();
  const std::string host = toHostPath(path).native();
  if (host.empty()) {
    error = kErrorPathNotFound;  // unknown drive
    return false;
  }
  // The installer runs with administrator rights: a link, FIFO, folder or device planted at the
  // path is refused and left as it is.
  struct stat st {};
  if (::lstat(host.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    error = windowsCreateError(S_ISLNK(st.st_mode) ? ELOOP : EACCES);
    return false;
  }
  // Never written through what is there: a fresh file, created exclusively beside the target
  // (no link is followed, nothing planted under its unpredictable name), takes the target's
  // name before the first byte. A file at the path, also one hard-linked elsewhere, is replaced
  // as a name and never opened, and a link planted after the check above is replaced itself.
  const size_t slash = host.rfind('/');
  std::string temp = slash == std::string::npos ? std::string() : host.substr(0, slash + 1);
  temp += ".tarnwick-dl-XXXXXX";
  const int fd = g_mkstemp_full(temp.data(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0644);
  if (fd < 0) {
    error = windowsCreateError(errno);
    return false;
  }
  if (::rename(temp.c_str(), host.c_str()) != 0) {
    const int failure = errno;
    ::close(fd);
    ::unlink(temp.c_str());
    error = windowsCreateError(failure == EISDIR || failure == ENOTEMPTY ? EACCES : failure);
    return false;
  }
  file_.reset(fd);
  error = 0;
  return true;
}

bool FileHandle::openToContinue(const std::wstring& path, uint64_t keep,
                                const std::function<void(const char*, size_t)>& kept, int& error) {
  close();
  const std::string host = toHostPath(path).native();
  if (host.empty()) {
    error = kErrorPathNotFound;
    return false;
  }
  const int fd = ::open(host.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    error = windowsCreateError(errno);
    return false;
  }
  PlatformFile file(fd);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 || st.st_uid != ::geteuid()) {
    error = kErrorAccessDenied;
    return false;
  }
  if (static_cast<uint64_t>(st.st_size) < keep || ::ftruncate(fd, static_cast<off_t>(keep)) != 0) {
    error = kErrorAccessDenied;
    return false;
  }
  std::vector<char> buffer(1u << 20);
  for (uint64_t at = 0; at < keep;) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(buffer.size(), keep - at));
    const ssize_t got = ::pread(fd, buffer.data(), want, static_cast<off_t>(at));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      error = got < 0 ? windowsCreateError(errno) : kErrorAccessDenied;
      return false;
    }
    if (kept) kept(buffer.data(), static_cast<size_t>(got));
    at += static_cast<uint64_t>(got);
  }
  if (::lseek(fd, static_cast<off_t>(keep), SEEK_SET) < 0) {
    error = windowsCreateError(errno);
    return false;
  }
  file_ = std::move(file);
  error = 0;
  return true;
}

bool FileHandle::write(const void* bytes, size_t count) {
  return file_.valid() && posix::writeAll(static_cast<int>(file_.get()), bytes, count);
}

void FileHandle::close() { file_.reset(); }

}  // namespace utility
