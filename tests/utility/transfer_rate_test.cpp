// The rate and time left a download shows: smoothed, silent at first, honest about stalls,
// restarts and bytes kept from an earlier run.
#include "utility/base/transfer_rate.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace {

using utility::TransferRateEstimator;
constexpr int64_t kMiB = 1048576;

// One progress report: |afterMs| after the previous one, |received| bytes so far.
struct Report {
  uint32_t afterMs;
  int64_t received;
};

// Reports every second at a steady |perSecond| from |start| bytes, for |seconds| seconds.
std::vector<Report> steady(int seconds, int64_t perSecond, int64_t start = 0) {
  std::vector<Report> reports{{0, start}};
  for (int i = 1; i <= seconds; ++i) reports.push_back({1000, start + perSecond * i});
  return reports;
}

std::vector<Report> concat(std::vector<Report> a, const std::vector<Report>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TransferRateEstimator::Estimate run(uint32_t firstTick, const std::vector<Report>& reports, int64_t total) {
  TransferRateEstimator estimator;
  uint32_t tick = firstTick;
  for (const Report& r : reports) {
    tick += r.afterMs;
    estimator.sample(tick, r.received, total);
  }
  return estimator.estimate();
}

TEST(TransferRate, EstimatesOverJourneys) {
  struct Case {
    const char* what;
    std::vector<Report> reports;
    int64_t total;
    bool known;
    double minRate, maxRate;         // bytes per second, when known
    int64_t minLeft, maxLeft;        // seconds; -1/-1: no time left
  };
  // Bursts: 4 MiB in one second, then nothing for a second, over and over (2 MiB/s on average).
  std::vector<Report> bursty{{0, 0}};
  for (int i = 1; i <= 30; ++i) bursty.push_back({1000, (i + 1) / 2 * 4 * kMiB});
  // 20 s at 1 MiB/s, then the same byte count reported for 10 s.
  std::vector<Report> stalled = steady(20, kMiB);
  for (int i = 0; i < 10; ++i) stalled.push_back({1000, 20 * kMiB});
  // The fallback starts again from zero after 10 s at 2 MiB/s; it goes on at 2 MiB/s.
  const std::vector<Report> restarted = concat(steady(10, 2 * kMiB), {{1000, 0}, {1000, 2 * kMiB}, {1000, 4 * kMiB}});

  const std::vector<Case> cases = {
      {"nothing said in the first seconds", steady(2, kMiB), 100 * kMiB, false, 0, 0, -1, -1},
      {"steady 1 MiB/s", steady(10, kMiB), 100 * kMiB, true, 0.99 * kMiB, 1.01 * kMiB, 90, 90},
      {"steady, no total known: rate only", steady(10, kMiB), 0, true, 0.99 * kMiB, 1.01 * kMiB, -1, -1},
      {"bursty: near the average, not the bursts", bursty, 200 * kMiB, true, 1.4 * kMiB, 2.7 * kMiB, 50, 100},
      {"stalled: no time left, the rate falls", stalled, 100 * kMiB, true, 0.05 * kMiB, 0.3 * kMiB, -1, -1},
      // 900 MiB kept from an earlier run, then 1 MiB/s: the kept part is not speed.
      {"resumed start", steady(10, kMiB, 900 * kMiB), 1000 * kMiB, true, 0.99 * kMiB, 1.01 * kMiB, 90, 90},
      {"restarted transfer keeps its speed", restarted, 100 * kMiB, true, 1.5 * kMiB, 2.1 * kMiB, 45, 66},
      {"complete", steady(5, kMiB), 5 * kMiB, true, 0.99 * kMiB, 1.01 * kMiB, 0, 0},
      // 1 KiB/s with a terabyte to go: more than 99 hours says nothing useful.
      {"too long to say", steady(5, 1024), 1LL << 40, true, 1000, 1050, -1, -1},
  };
  // The tick count may wrap during a download.
  for (uint32_t firstTick : {1000u, 0xFFFFF000u}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + " from tick " + std::to_string(firstTick));
      const TransferRateEstimator::Estimate e = run(firstTick, c.reports, c.total);
      EXPECT_EQ(e.known, c.known);
      if (!c.known) continue;
      EXPECT_GE(e.bytesPerSecond, c.minRate);
      EXPECT_LE(e.bytesPerSecond, c.maxRate);
      EXPECT_GE(e.secondsLeft, c.minLeft);
      EXPECT_LE(e.secondsLeft, c.maxLeft);
    }
  }
}

TEST(TransferRate, SmoothsAChangeOfSpeedOverSeconds) {
  // 1 MiB/s for 20 s, then 3 MiB/s: the rate moves towards 3 MiB/s without jumping there.
  std::vector<Report> reports = steady(20, kMiB);
  const int64_t base = 20 * kMiB;
  TransferRateEstimator estimator;
  uint32_t tick = 0;
  for (const Report& r : reports) estimator.sample(tick += r.afterMs, r.received, 0);
  std::vector<double> rates;
  for (int i = 1; i <= 20; ++i) {
    estimator.sample(tick += 1000, base + 3 * kMiB * i, 0);
    rates.push_back(estimator.estimate().bytesPerSecond);
  }
  EXPECT_LT(rates[0], 1.5 * kMiB);           // one second of the new speed moves it a little
  for (size_t i = 1; i < rates.size(); ++i) EXPECT_GT(rates[i], rates[i - 1]);  // no jump back
  EXPECT_GT(rates.back(), 2.9 * kMiB);       // after 20 s it is there
}

TEST(TransferRate, ReportsCloseTogetherCountAsOne) {
  // Reports 10 ms apart would give a rate of one chunk over nothing: they are taken together.
  TransferRateEstimator estimator;
  uint32_t tick = 0;
  int64_t received = 0;
  for (int i = 0; i < 500; ++i) estimator.sample(tick += 10, received += 10240, 0);  // 1 MiB/s in 10 KiB chunks
  const TransferRateEstimator::Estimate e = estimator.estimate();
  ASSERT_TRUE(e.known);
  EXPECT_NEAR(e.bytesPerSecond, 1024000.0, 20000.0);
}

}  // namespace
