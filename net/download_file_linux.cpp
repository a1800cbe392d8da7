#include <fcntl.h>
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
    case EISDIR: return kErrorAccessDenied;
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
  do {
    fd_ = ::open(host.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  } while (fd_ < 0 && errno == EINTR);
  if (fd_ < 0) {
    error = windowsError(errno);
    return false;
  }
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
