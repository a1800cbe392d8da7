#include "tests/standin/emulator_test_linux.h"

#include <signal.h>
#include <unistd.h>

#include <cstdlib>

namespace standintest {

unsigned currentUserId() { return static_cast<unsigned>(::getuid()); }

void killProcess(unsigned pid) {
  if (pid != 0) ::kill(static_cast<pid_t>(pid), SIGKILL);
}

void setEnvironment(const char* name, const char* value) {
  if (value != nullptr) {
    ::setenv(name, value, 1);
  } else {
    ::unsetenv(name);
  }
}

}  // namespace standintest
