#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "utility/system/log_file.h"
#include "utility/system/linux/posix_file_linux.h"

namespace common {

namespace posix = utility::posix;

LogFile::~LogFile() { close(); }

namespace {

int fdOf(const utility::PlatformFile& file) { return static_cast<int>(file.get()); }

}  // namespace

bool LogFile::open(const utility::HostPath& hostPath) {
  close();
  if (hostPath.empty()) return false;
  // A link planted at the log path must not redirect the writes.
  const int fd = posix::openRegularFile(hostPath.native(), O_RDWR | O_CREAT | O_APPEND | O_NOFOLLOW);
  if (fd >= 0) file_.reset(fd);
  return fd >= 0;
}

void LogFile::close() { file_.reset(); }

bool LogFile::append(const char* bytes, size_t n) {
  return file_.valid() && posix::writeAll(fdOf(file_), bytes, n);
}

int64_t LogFile::size() const {
  struct stat st {};
  if (!file_.valid() || ::fstat(fdOf(file_), &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

size_t LogFile::readAt(uint64_t offset, char* out, size_t n) const {
  if (!file_.valid()) return 0;
  size_t done = 0;
  while (done < n) {
    const ssize_t got = ::pread(fdOf(file_), out + done, n - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  return done;
}

bool LogFile::replaceContent(const char* bytes, size_t n) {
  // The same descriptor is truncated and rewritten: reopening by name could meet a different file.
  if (!file_.valid() || ::ftruncate(fdOf(file_), 0) != 0) return false;
  return append(bytes, n);  // O_APPEND: written from the new end, offset 0
}

}  // namespace common
