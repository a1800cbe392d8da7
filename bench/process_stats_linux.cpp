#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "bench/process_stats.h"

extern char** environ;

namespace benchsupport {

double threadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

namespace {

// This process's environment, with |environment| taking the place of variables of the same name.
std::vector<std::string> mergedEnvironment(const std::vector<std::string>& environment) {
  std::vector<std::string> merged;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('=') + 1);
    bool replaced = false;
    for (const std::string& given : environment) replaced = replaced || given.rfind(name, 0) == 0;
    if (!replaced) merged.push_back(entry);
  }
  merged.insert(merged.end(), environment.begin(), environment.end());
  return merged;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
  std::vector<char*> result;
  for (std::string& s : strings) result.push_back(s.data());
  result.push_back(nullptr);
  return result;
}

}  // namespace

ChildRun runChild(const std::vector<std::string>& argv, const std::vector<std::string>& environment) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<std::string> merged = mergedEnvironment(environment);
  std::vector<char*> env = pointers(merged);

  pid_t pid = -1;
  ChildRun run;
  if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), env.data()) != 0) return run;
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return run;
  run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  run.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  run.systemSeconds = static_cast<double>(usage.ru_stime.tv_sec) + static_cast<double>(usage.ru_stime.tv_usec) / 1e6;
  run.maxRssBytes = static_cast<uint64_t>(usage.ru_maxrss) * 1024;  // KiB on Linux
  return run;
}

CpuTimes ownCpuTimes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return {static_cast<double>(usage.ru_utime.tv_sec) + static_cast<double>(usage.ru_utime.tv_usec) / 1e6,
          static_cast<double>(usage.ru_stime.tv_sec) + static_cast<double>(usage.ru_stime.tv_usec) / 1e6};
}

Memory ownMemory() {
  Memory memory;
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    unsigned long long kib = 0;
    if (std::sscanf(line.c_str(), "VmRSS: %llu kB", &kib) == 1) memory.residentBytes = kib * 1024;
    if (std::sscanf(line.c_str(), "VmHWM: %llu kB", &kib) == 1) memory.peakBytes = kib * 1024;
  }
  return memory;
}

bool resetPeakMemory() {
  // "5" resets the peak resident set size (Documentation/filesystems/proc.rst, clear_refs).
  const int fd = ::open("/proc/self/clear_refs", O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::write(fd, "5", 1) == 1;
  ::close(fd);
  return ok;
}

void flushFileData() { ::sync(); }

std::string loadAverage() {
  std::ifstream file("/proc/loadavg");
  std::string one, five, fifteen;
  file >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

FirstLine runUntilLine(const std::vector<std::string>& argv, const std::string& line,
                       const std::vector<std::string>& environment) {
  FirstLine result;
  int out[2];
  if (pipe(out) != 0) return result;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<std::string> merged = mergedEnvironment(environment);
  std::vector<char*> env = pointers(merged);
  pid_t pid = -1;
  const auto start = std::chrono::steady_clock::now();
  const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (spawned != 0) {
    close(out[0]);
    return result;
  }
  std::string text;
  char buffer[256];
  for (;;) {
    const ssize_t got = read(out[0], buffer, sizeof buffer);
    if (got <= 0) break;
    text.append(buffer, static_cast<size_t>(got));
    if (text.find(line + "\n") != std::string::npos) {
      result.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      result.ok = true;
      break;
    }
  }
  if (result.ok) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string row; std::getline(status, row);) {
      if (row.rfind("VmRSS:", 0) == 0) result.residentKiB = std::stol(row.substr(6));
    }
  }
  kill(pid, SIGTERM);
  close(out[0]);
  int exitStatus = 0;
  waitpid(pid, &exitStatus, 0);
  return result;
}

}  // namespace benchsupport
