// The stand-in emulator's system calls on Linux.
#include "standin/emulator/platform.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "utility/base/strings.h"
#include "utility/system/drive_table.h"
#include "utility/system/process.h"
#include "utility/system/registry.h"

namespace standin {

std::vector<std::string> arguments(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  return args;
}

bool appendLine(const std::string& path, const std::string& line) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  ssize_t written;
  do {
    written = ::write(fd, line.data(), line.size());
  } while (written < 0 && errno == EINTR);
  ::close(fd);
  return written == static_cast<ssize_t>(line.size());
}

unsigned userId() { return static_cast<unsigned>(::getuid()); }

bool elevated() { return ::geteuid() == 0; }

std::string workingFolder() {
  char buffer[PATH_MAX];
  return ::getcwd(buffer, sizeof buffer) != nullptr ? std::string(buffer) : std::string();
}

unsigned processId() { return static_cast<unsigned>(::getpid()); }

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

void stayRunning() {
  for (;;) ::pause();
}

std::filesystem::path programPath() {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return n > 0 ? std::filesystem::path(std::string(buffer, static_cast<size_t>(n))) : std::filesystem::path();
}

std::string pathText(const std::filesystem::path& path) { return path.string(); }

std::filesystem::path hostPath(const std::wstring& windowsPath) {
  const std::string host = utility::toHostPath(windowsPath).native();
  return host.empty() ? std::filesystem::path() : std::filesystem::path(host);
}

bool registerInstallDir(const std::wstring& key, const std::wstring& folder) {
  utility::registry::Key reg;
  return reg.create(key) && reg.setString(L"InstallDir", folder);
}

unsigned startProgram(const std::filesystem::path& program) {
  uint32_t childId = 0;
  utility::process::ProcessHandle child =
      utility::process::create(utility::utf8ToWide(program.string()), L"", false, &childId);
  // Closing the handle does not signal the child.
  return child ? childId : 0;
}

}  // namespace standin
