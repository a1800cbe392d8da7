// Start of the toolkit demo to its first painted frame, and its resident memory at that moment,
// against a bare GTK 3 window program that paints one frame, measured in the same run, the two
// programs taking turns. Run under Xvfb: xvfb-run -a build/bench/toolkit_start_bench [runs].
// Prints the medians, the ratios and the aims (time at most 1.5x, memory at most 1.2x).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/process_stats.h"

namespace {

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  const std::vector<std::string> demo = {TARNWICK_TOOLKIT_DEMO, "--first-frame"};
  const std::vector<std::string> bare = {TARNWICK_BARE_GTK_WINDOW};
  std::vector<double> demoTimes, bareTimes, demoRss, bareRss;
  // One unmeasured start of each first: the files they load come into the page cache.
  benchsupport::runUntilLine(demo, "first-frame");
  benchsupport::runUntilLine(bare, "first-frame");
  for (int i = 0; i < runs; ++i) {
    for (bool isDemo : {true, false}) {
      const benchsupport::FirstLine run = benchsupport::runUntilLine(isDemo ? demo : bare, "first-frame");
      if (!run.ok) {
        std::fprintf(stderr, "%s did not paint (no display? run under xvfb-run -a)\n",
                     isDemo ? "the demo" : "the bare window");
        return 1;
      }
      (isDemo ? demoTimes : bareTimes).push_back(run.wallSeconds * 1000);
      (isDemo ? demoRss : bareRss).push_back(static_cast<double>(run.residentKiB) / 1024);
    }
  }
  const double dt = median(demoTimes), bt = median(bareTimes), dr = median(demoRss), br = median(bareRss);
  std::printf("runs: %d each (medians)\n", runs);
  std::printf("start to first frame: demo %.1f ms, bare GTK window %.1f ms, ratio %.2f (aim: at most 1.5)\n",
              dt, bt, dt / bt);
  std::printf("resident memory then: demo %.1f MiB, bare GTK window %.1f MiB, ratio %.2f (aim: at most 1.2)\n",
              dr, br, dr / br);
  return 0;
}
