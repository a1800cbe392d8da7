#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "tests/utility/process_test_support.h"

namespace processtest {

namespace {

int pidfdOpen(uint32_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0)); }

}  // namespace

bool endsWithin(uint32_t pid, int limitMs) {
  const int fd = pidfdOpen(pid);
  if (fd < 0) return true;  // gone and collected
  pollfd p{fd, POLLIN, 0};
  const bool ended = ::poll(&p, 1, limitMs) == 1;
  ::close(fd);
  return ended;
}

void kill(uint32_t pid) {
  const int fd = pidfdOpen(pid);
  if (fd < 0) return;
  ::syscall(SYS_pidfd_send_signal, fd, SIGKILL, nullptr, 0);
  ::close(fd);
}

int killedExitCode() { return 128 + SIGKILL; }

}  // namespace processtest
