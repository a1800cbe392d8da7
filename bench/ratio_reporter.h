// The console table of Google Benchmark, then a summary that compares benchmarks with their
// references measured in the same run. Times are CPU times (other work on the machine disturbs
// them less than wall time); with repetitions the median stands for a benchmark.
#pragma once

#include <benchmark/benchmark.h>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace bench {

// CPU time by benchmark name, in the benchmark's unit.
using Times = std::map<std::string, double>;

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  explicit RatioReporter(std::function<void(const Times&)> summary) : summary_(std::move(summary)) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const std::string name = run.run_name.str();
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        medians_[name] = run.GetAdjustedCPUTime();
      } else if (run.run_type == Run::RT_Iteration) {
        times_[name] = run.GetAdjustedCPUTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const auto& [name, time] : medians_) times_[name] = time;
    summary_(times_);
  }

 private:
  std::function<void(const Times&)> summary_;
  Times times_;
  Times medians_;
};

// |ours| / |reference|, or 0 when either is missing.
inline double ratioOf(const Times& times, const std::string& ours, const std::string& reference) {
  const auto a = times.find(ours);
  const auto b = times.find(reference);
  if (a == times.end() || b == times.end() || b->second <= 0) return 0;
  return a->second / b->second;
}

}  // namespace bench
