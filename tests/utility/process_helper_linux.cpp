// The process tests' child program on Linux, and its Linux-only modes:
//   signal <number>             end by that signal
//   fds <file>                  write the open descriptors and what fd 0 is, one per line
//   hold <fifo>                 write "<pid> <session>\n" to <fifo>, then wait to be killed
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/utility/process_helper.h"

namespace processhelper {

namespace {

bool writeAll(const char* path, const std::string& text) {
  const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  return ok;
}

}  // namespace

uint32_t currentPid() { return static_cast<uint32_t>(::getpid()); }

uint32_t startQuietChild(const char* program) {
  // Reported only once the child runs its own image: until exec it still has ours.
  int execed[2];
  if (::pipe2(execed, O_CLOEXEC) != 0) return 0;
  const pid_t child = ::fork();
  if (child < 0) return 0;
  if (child == 0) {
    ::execl(program, program, "hold-quiet", static_cast<char*>(nullptr));
    ::_exit(6);
  }
  ::close(execed[1]);
  char byte;
  while (::read(execed[0], &byte, 1) > 0) {
  }
  ::close(execed[0]);
  return static_cast<uint32_t>(child);
}

void waitForKill() {
  while (true) ::pause();
}

int platformMode(int argc, char** argv) {
  const std::string mode = argv[1];
  if (mode == "signal" && argc == 3) {
    ::signal(std::atoi(argv[2]), SIG_DFL);
    ::raise(std::atoi(argv[2]));
    return 3;
  }
  if (mode == "fds" && argc == 3) {
    std::string text;
    DIR* dir = ::opendir("/proc/self/fd");
    if (dir == nullptr) return 4;
    while (const dirent* entry = ::readdir(dir)) {
      if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == ::dirfd(dir)) continue;
      text += entry->d_name;
      text += '\n';
    }
    ::closedir(dir);
    char target[4096] = {};
    const ssize_t n = ::readlink("/proc/self/fd/0", target, sizeof target - 1);
    text += "0=" + std::string(target, n > 0 ? static_cast<size_t>(n) : 0) + "\n";
    return writeAll(argv[2], text) ? 0 : 4;
  }
  if (mode == "hold" && argc == 3) {
    writeAll(argv[2], std::to_string(::getpid()) + " " + std::to_string(::getsid(0)) + "\n");
    waitForKill();
  }
  return -1;
}

}  // namespace processhelper
