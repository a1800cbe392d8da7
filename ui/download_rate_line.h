// The progress page's rate line: takes the installer download's byte counts from either stack,
// looks at the clock once a second between them (so a stall shows), and writes the line.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "utility/base/tasks.h"
#include "utility/base/transfer_rate.h"

namespace ui {

class DownloadRateLine {
 public:
  static constexpr uint32_t kTickMs = 1000;
  // No report for this long: the clock alone feeds the estimate.
  static constexpr uint32_t kQuietMs = 2000;

  // |show| writes the line (main thread).
  explicit DownloadRateLine(std::function<void(const std::wstring&)> show);

  // Main thread. A report of the download; the first one starts the line.
  void onProgress(int64_t received, int64_t total);
  // The download ended (either way) or starts again: the line goes blank, the estimate is forgotten.
  void stop();

  // Tests: the tick count the line reads (null: the system's).
  static void setTickSourceForTesting(uint32_t (*tick)());

 private:
  void onTick();
  void show();

  std::function<void(const std::wstring&)> show_;
  utility::TransferRateEstimator estimator_;
  utility::TaskTimer timer_;
  int64_t received_ = 0;
  int64_t total_ = 0;
  uint32_t lastReportTick_ = 0;
  std::wstring shown_;
};

}  // namespace ui
