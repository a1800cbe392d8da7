#include <signal.h>
#include <unistd.h>

#include <cstdlib>

#include "tests/standin/emulator_test_platform.h"

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

std::wstring enterWorld(const std::filesystem::path& home, const std::filesystem::path& config) {
  const std::string drives = "C=" + home.string();
  setEnvironment("TARNWICK_DRIVES", drives.c_str());
  setEnvironment("HOME", home.string().c_str());
  setEnvironment("XDG_CONFIG_HOME", config.string().c_str());
  return L"C:";
}

void forgetRegistryKeys(const std::vector<std::wstring>&) {}

}  // namespace standintest
