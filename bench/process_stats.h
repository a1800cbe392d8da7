// CPU time of the calling thread and of a child program, for the network benchmark.
#pragma once

#include <string>
#include <vector>

namespace benchsupport {

// CPU seconds (user + system) the calling thread has used so far.
double threadCpuSeconds();

struct ChildRun {
  bool ok = false;        // started and exited with status 0
  double cpuSeconds = 0;  // user + system of the child
};

// Runs |argv| (argv[0] is a path) and waits for it.
ChildRun runChild(const std::vector<std::string>& argv);

}  // namespace benchsupport
