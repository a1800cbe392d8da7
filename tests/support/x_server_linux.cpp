#include "tests/support/x_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

namespace testsupport {

XServer::XServer() {
  int ready[2];
  if (pipe2(ready, O_CLOEXEC) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);  // a test that crashes leaves no server behind
    // The server writes its display number to this descriptor once it accepts clients.
    dup2(ready[1], 3);
    const int devNull = open("/dev/null", O_RDWR);
    dup2(devNull, 1);
    dup2(devNull, 2);
    execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", "1280x1024x24", "-ac", "-nolisten", "tcp",
           "-noreset", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(ready[1]);
  if (pid_ < 0) {
    close(ready[0]);
    return;
  }
  std::string number;
  pollfd wait{ready[0], POLLIN, 0};
  // A generous limit: a loaded machine starts the server slowly, a broken one never.
  while (poll(&wait, 1, 30000) > 0) {
    char c = 0;
    if (read(ready[0], &c, 1) != 1 || c == '\n') break;
    number += c;
  }
  close(ready[0]);
  if (!number.empty()) display_ = ":" + number;
}

XServer::~XServer() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
}

}  // namespace testsupport
