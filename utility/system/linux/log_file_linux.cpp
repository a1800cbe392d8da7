#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "utility/system/log_file.h"
#include "utility/system/linux/posix_file_linux.h"

namespace common {

namespace posix = utility::posix;

LogFile::~LogFile() { close(); }

bool LogFile::open(const std::string& hostPath) {
  close();
  if (hostPath.empty()) return false;
  // A link planted at the log path must not redirect the writes.
  fd_ = posix::openRegularFile(hostPath, O_RDWR | O_CREAT | O_APPEND | O_NOFOLLOW);
  return fd_ >= 0;
}

void LogFile::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool LogFile::append(const char* bytes, size_t n) { return fd_ >= 0 && posix::writeAll(fd_, bytes, n); }

int64_t LogFile::size() const {
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

size_t LogFile::readAt(uint64_t offset, char* out, size_t n) const {
  if (fd_ < 0) return 0;
  size_t done = 0;
  while (done < n) {
    const ssize_t got = ::pread(fd_, out + done, n - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  return done;
}

bool LogFile::replaceContent(const char* bytes, size_t n) {
  // The same descriptor is truncated and rewritten: reopening by name could meet a different file.
  if (fd_ < 0 || ::ftruncate(fd_, 0) != 0) return false;
  return append(bytes, n);  // O_APPEND: written from the new end, offset 0
}

}  // namespace common
