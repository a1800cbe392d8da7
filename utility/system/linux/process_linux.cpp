// Processes on Linux: posix_spawn with the argument vector of the Windows command-line rules,
// waits through a pidfd, image names from /proc, and the forced tree kill (stop, then kill).
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <chrono>
#include <climits>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "utility/base/strings.h"
#include "utility/system/command_line_split.h"
#include "utility/system/drive_table.h"
#include "utility/system/linux/process_linux.h"
#include "utility/system/log.h"
#include "utility/system/process.h"

extern char** environ;

namespace utility::process {

namespace {

constexpr int kShellSuccess = 42;      // any shell result above 32 means "accepted"
constexpr int kShellFileNotFound = 2;  // the shell's "file not found"
// How long the verdict of openUrl's openers is waited for (away from the caller) before the
// address counts as handed over (an opener may also run the browser itself and not return).
constexpr uint32_t kOpenerVerdictMs = 2000;
std::atomic<uint32_t> openerVerdictMs{kOpenerVerdictMs};

int pidfdOpen(pid_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }

int pidfdSignal(int fd, int sig) {
  return static_cast<int>(::syscall(SYS_pidfd_send_signal, fd, sig, nullptr, 0));
}

// Collects a child nobody waits for once it ends, so it neither stays a zombie nor is taken by
// anyone else's wait; it is never signalled.
void collectWhenEnded(int pidfd) {
  std::thread([pidfd] {
    siginfo_t info{};
    while (::waitid(P_PIDFD, static_cast<id_t>(pidfd), &info, WEXITED) < 0 && errno == EINTR) {
    }
    ::close(pidfd);
  }).detach();
}

struct Program {
  std::string path;     // host path, or a name looked up in PATH
  bool lookUp = false;
};

// A Windows path text ("D:\Tarnwick\corvide.exe") runs the host file the drive table names; a
// bare name is looked up in PATH like the system's search for a program.
Program hostProgram(const std::wstring& file) {
  const bool isPath = file.find_first_of(L"\\/") != std::wstring::npos ||
                      (file.size() >= 2 && file[1] == L':');
  if (isPath) return {utility::toHostPath(file).native(), false};
  return {utility::wideToUtf8(file), true};
}

// Starts |program| with |arguments| (argv[0] is added), standard streams on /dev/null, no
// descriptor of ours but 0-2 inherited, default signal dispositions and an empty signal mask.
// Returns the handle, or an empty one with |error| set.
ProcessHandle spawn(const Program& program, const std::vector<std::string>& arguments,
                    bool newSession, int& error) {
  error = 0;
  if (program.path.empty()) {
    error = ENOENT;
    return {};
  }
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.path.c_str()));
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawnattr_init(&attr);
  ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  ::posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  // Descriptors a library opened without close-on-exec must not leak into the child.
  ::posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  sigset_t none;
  sigset_t all;
  sigemptyset(&none);
  sigfillset(&all);
  ::posix_spawnattr_setsigmask(&attr, &none);
  ::posix_spawnattr_setsigdefault(&attr, &all);
  short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
  if (newSession) flags |= POSIX_SPAWN_SETSID;
  ::posix_spawnattr_setflags(&attr, flags);

  pid_t pid = -1;
  const int rc = program.lookUp
                     ? ::posix_spawnp(&pid, program.path.c_str(), &actions, &attr, argv.data(), environ)
                     : ::posix_spawn(&pid, program.path.c_str(), &actions, &attr, argv.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  ::posix_spawnattr_destroy(&attr);
  if (rc != 0) {
    error = rc;
    return {};
  }
  // Nothing else here waits for our children, so the pid is still ours until we collect it.
  const int fd = pidfdOpen(pid);
  if (fd < 0) {
    error = errno;
    // Without a pidfd the child can still be collected by its pid.
    std::thread([pid] {
      int status = 0;
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    }).detach();
    return {};
  }
  return ProcessHandle(static_cast<uint32_t>(pid), fd);
}

std::vector<std::string> hostArguments(const std::wstring& parameters) {
  std::vector<std::string> out;
  for (const std::wstring& a : utility::splitCommandLine(parameters)) out.push_back(utility::wideToUtf8(a));
  return out;
}

// ---- /proc ----

struct ProcInfo {
  pid_t pid = 0;
  pid_t parent = 0;
  std::wstring name;
};

// The image file name: the executable's own name; for a process whose executable we may not
// read (another user's, a kernel thread) the kernel's short name.
std::optional<ProcInfo> readProc(pid_t pid) {
  const std::string base = "/proc/" + std::to_string(pid);
  std::ifstream statFile(base + "/stat");
  std::string stat;
  if (!std::getline(statFile, stat)) return std::nullopt;
  const size_t close = stat.rfind(')');
  if (close == std::string::npos || close + 4 > stat.size()) return std::nullopt;
  ProcInfo info;
  info.pid = pid;
  info.parent = static_cast<pid_t>(std::strtol(stat.c_str() + close + 4, nullptr, 10));
  char target[PATH_MAX];
  const ssize_t n = ::readlink((base + "/exe").c_str(), target, sizeof target - 1);
  std::string name;
  if (n > 0) {
    std::string path(target, static_cast<size_t>(n));
    const std::string deleted = " (deleted)";
    if (path.size() > deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0) {
      path.resize(path.size() - deleted.size());
    }
    name = path.substr(path.rfind('/') + 1);
  } else {
    const size_t open = stat.find('(');
    if (open == std::string::npos || open > close) return std::nullopt;
    name = stat.substr(open + 1, close - open - 1);
  }
  info.name = utility::hostTextToWide(name);
  return info;
}

std::vector<ProcInfo> scanProcesses() {
  std::vector<ProcInfo> out;
  DIR* dir = ::opendir("/proc");
  if (dir == nullptr) return out;
  while (const dirent* entry = ::readdir(dir)) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (pid <= 0 || *end != '\0') continue;
    if (auto info = readProc(static_cast<pid_t>(pid))) out.push_back(std::move(*info));
  }
  ::closedir(dir);
  return out;
}

}  // namespace

// ---- ProcessHandle ----

ProcessHandle::ProcessHandle(ProcessHandle&& other) noexcept
    : pid_(other.pid_), handle_(other.handle_), ended_(other.ended_) {
  other.handle_ = kNoNative;
}

ProcessHandle& ProcessHandle::operator=(ProcessHandle&& other) noexcept {
  if (this != &other) {
    close();
    pid_ = other.pid_;
    handle_ = other.handle_;
    ended_ = other.ended_;
    other.handle_ = kNoNative;
  }
  return *this;
}

ProcessHandle::Wait ProcessHandle::wait(uint32_t timeLimitMs, int& exitCode, int& error) {
  error = 0;
  if (handle_ == kNoNative || ended_) {
    error = EBADF;
    return Wait::failed;
  }
  const int fd = static_cast<int>(handle_);
  using Clock = std::chrono::steady_clock;
  const bool forever = timeLimitMs == kInfinite;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeLimitMs);
  while (true) {
    int timeout = -1;
    if (!forever) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      timeout = static_cast<int>(std::min<long long>(std::max<long long>(left, 0), INT_MAX));
    }
    pollfd p{fd, POLLIN, 0};
    const int rc = ::poll(&p, 1, timeout);
    if (rc > 0) break;
    if (rc == 0) {
      if (forever || Clock::now() >= deadline) return Wait::timedOut;
      continue;  // a limit beyond what one poll can wait
    }
    if (errno != EINTR) {
      error = errno;
      return Wait::failed;
    }
  }
  siginfo_t info{};
  while (::waitid(P_PIDFD, static_cast<id_t>(fd), &info, WEXITED) < 0) {
    if (errno != EINTR) {
      error = errno;
      return Wait::failed;
    }
  }
  ended_ = true;
  exitCode = info.si_code == CLD_EXITED ? info.si_status : 128 + info.si_status;
  return Wait::ended;
}

void ProcessHandle::close() {
  if (handle_ == kNoNative) return;
  if (ended_) {
    ::close(static_cast<int>(handle_));
  } else {
    collectWhenEnded(static_cast<int>(handle_));
  }
  handle_ = kNoNative;
}

int lastError() { return errno; }

// ---- the calls ----

bool shell(const std::wstring& file, const std::wstring& parameters, bool runAs, bool show) {
  common::logPrint("utility::process::shell", __LINE__,
                   L"shell filename = [%s], param = [%s], runas = %d, show = %d", file.c_str(),
                   parameters.c_str(), runAs ? 1 : 0, show ? 1 : 0);
  // There is no elevation to ask for: the program runs as the user the installer runs as.
  int error = 0;
  ProcessHandle handle = spawn(hostProgram(file), hostArguments(parameters), true, error);
  common::logPrint("utility::process::shell", __LINE__, L"shellEx ret . lastError = %d", error);
  if (!handle) {
    common::logPrint("utility::process::shell", __LINE__, L"shellEx failed!!! lastError = %d", error);
    return false;
  }
  return true;
}

bool startDetached(const std::wstring& file, const std::wstring& parameters, uint32_t* processId) {
  int error = 0;
  ProcessHandle handle = spawn(hostProgram(file), hostArguments(parameters), true, error);
  if (!handle) {
    errno = error;
    return false;
  }
  if (processId != nullptr) *processId = handle.id();
  return true;  // the handle's close leaves the child to the reaper
}

ProcessHandle create(const std::wstring& file, const std::wstring& parameters, bool show,
                     uint32_t* processId) {
  common::logPrint("utility::process::create", __LINE__,
                   L"createProcess filename = [%s], param = [%s], show = %d", file.c_str(),
                   parameters.c_str(), show ? 1 : 0);
  int error = 0;
  ProcessHandle handle = spawn(hostProgram(file), hostArguments(parameters), false, error);
  if (!handle) {
    common::logPrint("utility::process::create", __LINE__, L"createProcess failed!!! lastError = %d",
                     error);
    errno = error;
    return {};
  }
  if (processId != nullptr) *processId = handle.id();
  return handle;
}

namespace {

// The file |name| names in PATH, as the system's search for a program finds it; empty when none.
std::string findInPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string folders = path != nullptr ? path : "";
  size_t start = 0;
  while (start <= folders.size()) {
    size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    const std::string folder = end == start ? "." : folders.substr(start, end - start);
    const std::string candidate = folder + "/" + name;
    struct stat st {};
    if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
    start = end + 1;
  }
  return {};
}

// Learns the openers' verdict away from the caller's thread and logs it.
void logVerdictWhenItComes(ProcessHandle handle) {
  std::thread([handle = std::move(handle)]() mutable {
    int exitCode = -1;
    int error = 0;
    const ProcessHandle::Wait wait = handle.wait(openerVerdictMs.load(), exitCode, error);
    if (wait == ProcessHandle::Wait::ended && exitCode != 0) {
      common::logPrint("utility::process::openUrl", __LINE__, L"shellEx failed!!! lastError = %d", exitCode);
    } else {
      // Ended well, or still busy past the limit (an opener that runs the browser itself).
      common::logPrint("utility::process::openUrl", __LINE__, L"shellEx ret . lastError = %d", 0);
    }
  }).detach();
}

}  // namespace

int openUrl(const std::wstring& address) {
  // The openers are found here, on the caller's thread, which owns the environment.
  const std::string xdgOpen = findInPath("xdg-open");
  const std::string browser = findInPath("x-www-browser");
  if (xdgOpen.empty() && browser.empty()) {
    common::logPrint("utility::process::openUrl", __LINE__, L"shellEx failed!!! lastError = %d", kShellFileNotFound);
    return kShellFileNotFound;
  }
  // The chain runs in a small shell of its own: an opener that refuses the address (no handler
  // for it) gives way to the browser even when this process has ended meanwhile, and nobody
  // waits for the verdict on the caller's thread (a window would freeze meanwhile).
  static const std::string kChain =
      "status=2; if [ -n \"$2\" ]; then \"$2\" \"$1\"; status=$?; [ $status -eq 0 ] && exit 0; fi; "
      "if [ -n \"$3\" ]; then exec \"$3\" \"$1\"; fi; exit $status";
  const std::vector<std::string> arguments{"-c", kChain, "sh", utility::wideToUtf8(address), xdgOpen, browser};
  int error = 0;
  ProcessHandle handle = spawn({"/bin/sh", false}, arguments, true, error);
  if (!handle) {
    common::logPrint("utility::process::openUrl", __LINE__, L"shellEx failed!!! lastError = %d", error);
    return kShellFileNotFound;
  }
  logVerdictWhenItComes(std::move(handle));
  return kShellSuccess;
}

int killByImageName(const std::wstring& imageName, bool tree, uint32_t waitMs) {
  // Every target is stopped first and killed last, so a parent cannot start children that
  // escape between looking and killing, and a pid read from /proc is held by a pidfd.
  std::map<pid_t, int> held;
  bool refused = false;
  const pid_t self = ::getpid();
  for (int round = 0; round < 16; ++round) {
    const std::vector<ProcInfo> processes = scanProcesses();
    std::set<pid_t> targets;
    for (const auto& [pid, fd] : held) targets.insert(pid);
    for (const ProcInfo& p : processes) {
      if (p.name == imageName) targets.insert(p.pid);
    }
    if (tree) {
      for (bool grown = true; grown;) {
        grown = false;
        for (const ProcInfo& p : processes) {
          if (targets.count(p.parent) != 0 && targets.insert(p.pid).second) grown = true;
        }
      }
    }
    bool added = false;
    for (const pid_t pid : targets) {
      if (pid == self || held.count(pid) != 0) continue;
      const int fd = pidfdOpen(pid);
      if (fd < 0) continue;  // already gone
      if (pidfdSignal(fd, SIGSTOP) != 0) {
        if (errno == EPERM) refused = true;
        ::close(fd);
        continue;
      }
      held[pid] = fd;
      added = true;
    }
    if (!added) break;
  }
  for (const auto& [pid, fd] : held) {
    if (pidfdSignal(fd, SIGKILL) != 0 && errno == EPERM) refused = true;
  }
  // The caller goes on to replace what these programs used: wait until they have ended.
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(waitMs);
  for (const auto& [pid, fd] : held) {
    pollfd p{fd, POLLIN, 0};
    while (true) {
      int timeout = -1;
      if (waitMs != kInfinite) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        timeout = static_cast<int>(std::min<long long>(std::max<long long>(left, 0), INT_MAX));
      }
      if (::poll(&p, 1, timeout) >= 0 || errno != EINTR) break;
    }
    ::close(fd);
  }
  if (held.empty() && !refused) return 128;
  return refused ? 1 : 0;
}

void setOpenerVerdictLimitForTesting(uint32_t limitMs) {
  openerVerdictMs = limitMs == 0 ? kOpenerVerdictMs : limitMs;
}

void ProcessSnapshot::take() {
  clear();
  for (ProcInfo& p : scanProcesses()) emplace(std::move(p.name), static_cast<uint32_t>(p.pid));
}

}  // namespace utility::process
