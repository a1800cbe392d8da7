#include "utility/system/linux/posix_file_linux.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "utility/system/platform_file.h"

namespace utility {

void PlatformFile::reset(Native native) {
  if (native_ != kInvalid) ::close(static_cast<int>(native_));
  native_ = native;
}

namespace posix {

int openRegularFile(const std::string& path, int flags, mode_t mode, struct stat* info) {
  const bool truncate = (flags & O_TRUNC) != 0;
  int fd = -1;
  do {
    fd = ::open(path.c_str(), (flags & ~O_TRUNC) | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, mode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  struct stat st {};
  int failure = 0;
  if (::fstat(fd, &st) != 0) {
    failure = errno;
  } else if (!S_ISREG(st.st_mode)) {
    failure = EACCES;  // what the system answers for a folder or device at the path
  } else {
    const int fileFlags = ::fcntl(fd, F_GETFL);
    if (fileFlags < 0 || ::fcntl(fd, F_SETFL, fileFlags & ~O_NONBLOCK) != 0) failure = errno;
  }
  if (failure == 0 && truncate) {
    int truncated = 0;
    do {
      truncated = ::ftruncate(fd, 0);
    } while (truncated != 0 && errno == EINTR);
    if (truncated != 0) failure = errno;
    else st.st_size = 0;
  }
  if (failure != 0) {
    ::close(fd);
    errno = failure;
    return -1;
  }
  if (info != nullptr) *info = st;
  return fd;
}

bool writeAll(int fd, const void* bytes, size_t n) {
  const char* p = static_cast<const char*>(bytes);
  while (n > 0) {
    const ssize_t written = ::write(fd, p, n);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      if (written == 0) errno = EIO;
      return false;
    }
    p += written;
    n -= static_cast<size_t>(written);
  }
  return true;
}

}  // namespace posix
}  // namespace utility
