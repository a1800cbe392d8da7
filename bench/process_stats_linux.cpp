#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>

#include "bench/process_stats.h"

extern char** environ;

namespace benchsupport {

double threadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

ChildRun runChild(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  ChildRun run;
  if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return run;
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return run;
  run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  run.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  return run;
}

}  // namespace benchsupport
