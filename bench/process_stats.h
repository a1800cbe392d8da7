// CPU time, memory and load figures of this process and of child programs, for the benchmarks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace benchsupport {

// CPU seconds (user + system) the calling thread has used so far.
double threadCpuSeconds();

struct ChildRun {
  bool ok = false;         // started and exited with status 0
  double cpuSeconds = 0;   // user + system of the child
  double systemSeconds = 0;  // of which in the kernel
  uint64_t maxRssBytes = 0;  // the child's peak resident set over its whole life
};

// Runs |argv| (argv[0] is a path) and waits for it. |environment| ("NAME=value") replaces or adds
// to this process's environment for the child.
ChildRun runChild(const std::vector<std::string>& argv, const std::vector<std::string>& environment = {});

struct Memory {
  uint64_t residentBytes = 0;  // now (VmRSS)
  uint64_t peakBytes = 0;      // the high-water mark (VmHWM), since start or the last reset
};

struct CpuTimes {
  double user = 0;
  double system = 0;
};
// CPU seconds this process (all its threads) has used so far.
CpuTimes ownCpuTimes();

// This process's resident set; zeros when it cannot be read.
Memory ownMemory();
// Starts a new high-water mark at the present resident set; false when the system refuses.
bool resetPeakMemory();
// Writes every file's pending data out (sync): a run does not pay for the writeback of others.
void flushFileData();
// The 1, 5 and 15 minute load averages as the system gives them ("1.82 1.59 2.61").
std::string loadAverage();

// Start-up of a window program: run until it prints |line| on its standard output.
struct FirstLine {
  bool ok = false;          // started and printed the line
  double wallSeconds = 0;   // from the start to the line
  long residentKiB = 0;     // its resident memory (VmRSS) when the line came
};
// Runs |argv|, waits for |line|, reads the child's resident memory, then ends it (SIGTERM) and
// waits for it. |environment| as for runChild.
FirstLine runUntilLine(const std::vector<std::string>& argv, const std::string& line,
                       const std::vector<std::string>& environment = {});

}  // namespace benchsupport
