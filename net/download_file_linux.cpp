#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "net/download_file.h"
#include "utility/drive_table.h"

namespace net {

namespace {

// The Windows code of a failed create, as callers and logs expect it.
int windowsError(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR: return kErrorPathNotFound;  // the file itself is always created
    case EACCES:
    case EPERM:
    case EISDIR:
    case ELOOP:  // a link at the path itself: never followed
    case ENXIO: return kErrorAccessDenied;
    case EROFS: return kErrorWriteProtect;
    case ETXTBSY:
    case EBUSY: return kErrorSharingViolation;
    case EEXIST: return kErrorFileExists;
    case ENOSPC:
    case EDQUOT: return kErrorDiskFull;
    case ENOMEM: return kErrorNotEnoughMemory;
    case ENAMETOOLONG: return kErrorFilenameTooLong;
    default: return error;
  }
}

}  // namespace

DownloadFile::~DownloadFile() { close(); }

bool DownloadFile::create(const std::wstring& path, int& error) {
  close();
  const std::string host = utility::toHostPath(path);
  if (host.empty()) {
    error = kErrorPathNotFound;  // unknown drive
    return false;
  }
  // The installer runs with administrator rights: a link planted at the path is not followed, a
  // FIFO cannot hold up the open, and only a regular file is truncated and written.
  int fd = -1;
  do {
    fd = ::open(host.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    error = windowsError(errno);
    return false;
  }
  struct stat st {};
  int failure = 0;
  if (::fstat(fd, &st) != 0) {
    failure = errno;
  } else if (!S_ISREG(st.st_mode)) {
    failure = EACCES;  // what the system answers for a folder or device at the path
  } else {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) failure = errno;
  }
  if (failure == 0) {
    int truncated = 0;
    do {
      truncated = ::ftruncate(fd, 0);
    } while (truncated != 0 && errno == EINTR);
    if (truncated != 0) failure = errno;
  }
  if (failure != 0) {
    ::close(fd);
    error = windowsError(failure);
    return false;
  }
  fd_ = fd;
  error = 0;
  return true;
}

bool DownloadFile::write(const void* data, size_t size) {
  if (fd_ < 0) return false;
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd_, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

void DownloadFile::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace net
