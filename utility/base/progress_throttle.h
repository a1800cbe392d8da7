// One rule for every progress display: at most one report per interval, on the 32-bit
// millisecond tick count (which wraps after 49.7 days).
#pragma once

#include <cstdint>

namespace utility {

class ProgressThrottle {
 public:
  static constexpr uint32_t kDefaultIntervalMs = 1000;

  explicit ProgressThrottle(uint32_t intervalMs = kDefaultIntervalMs) : intervalMs_(intervalMs) {}

  // True for the first report after construction or reset, and for one at least the interval
  // after the last report let through, which |now| then becomes. The time since that report is
  // the unsigned difference of the counts, so the wrap of the count is neither a jump back nor
  // a jump ahead.
  bool due(uint32_t now) {
    if (started_ && now - last_ < intervalMs_) return false;
    started_ = true;
    last_ = now;
    return true;
  }
  // The next report is due at once (a new transfer).
  void reset() { started_ = false; }

 private:
  uint32_t intervalMs_;
  uint32_t last_ = 0;
  bool started_ = false;
};

}  // namespace utility
