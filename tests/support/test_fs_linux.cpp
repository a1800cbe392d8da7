#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/test_fs.h"

namespace testfs {

bool makeFifo(const std::string& path) { return ::mkfifo(path.c_str(), 0600) == 0; }

OpenDescriptors descriptorsOn(const std::string& path) {
  namespace fs = std::filesystem;
  OpenDescriptors found;
  std::error_code error;
  const fs::path wanted = fs::weakly_canonical(path, error);
  for (const auto& entry : fs::directory_iterator("/proc/self/fd", error)) {
    std::error_code linkError;
    const fs::path target = fs::read_symlink(entry.path(), linkError);
    if (linkError || target != wanted) continue;
    const int fd = std::stoi(entry.path().filename().string());
    const int flags = ::fcntl(fd, F_GETFD);
    if (flags < 0) continue;
    ++found.total;
    if ((flags & FD_CLOEXEC) == 0) ++found.inherited;
  }
  return found;
}

FileSizeLimit::FileSizeLimit(unsigned long long bytes) {
  rlimit limit{};
  if (::getrlimit(RLIMIT_FSIZE, &limit) != 0) return;
  oldSoft_ = limit.rlim_cur;
  oldHandler_ = ::signal(SIGXFSZ, SIG_IGN);
  limit.rlim_cur = bytes;
  active_ = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

FileSizeLimit::~FileSizeLimit() {
  rlimit limit{};
  if (active_ && ::getrlimit(RLIMIT_FSIZE, &limit) == 0) {
    limit.rlim_cur = oldSoft_;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ::signal(SIGXFSZ, oldHandler_);
}

}  // namespace testfs

