#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "net/download_file.h"
#include "utility/system/drive_table.h"
#include "utility/system/linux/posix_file_linux.h"

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
  const int fd = utility::posix::openRegularFile(host, O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW);
  if (fd < 0) {
    error = windowsError(errno);
    return false;
  }
  fd_ = fd;
  error = 0;
  return true;
}

bool DownloadFile::write(const void* data, size_t size) {
  return fd_ >= 0 && utility::posix::writeAll(fd_, data, size);
}

void DownloadFile::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace net
