#include "net/win/wininet_limits_win.h"

#include <windows.h>

#include <algorithm>

namespace net::wininet {

TransferLimits::TransferLimits(std::chrono::milliseconds deadline, uint64_t bytesPerSecond,
                               std::chrono::seconds window) {
  const auto now = Clock::now();
  if (deadline.count() > 0) end_ = now + deadline;
  if (bytesPerSecond > 0 && window.count() > 0) {
    least_ = bytesPerSecond * static_cast<uint64_t>(window.count());
    window_ = window;
    step_ = std::max<std::chrono::milliseconds>(std::chrono::milliseconds(100), window / 10);
    nextSample_ = now + step_;
    samples_.emplace_back(now, 0);
  }
}

TransferLimits::Passed TransferLimits::check() {
  const auto now = Clock::now();
  if (end_ && now >= *end_) return Passed::kDeadline;
  if (least_ == 0 || now < nextSample_) return Passed::kNone;
  nextSample_ = now + step_;
  samples_.emplace_back(now, received_);
  while (samples_.size() > 1 && now - samples_[1].first >= window_) samples_.pop_front();
  if (now - samples_.front().first < window_) return Passed::kNone;
  return samples_.back().second - samples_.front().second < least_ ? Passed::kRate : Passed::kNone;
}

unsigned long TransferLimits::waitMs() const {
  if (!end_ && least_ == 0) return INFINITE;
  const auto now = Clock::now();
  auto next = Clock::time_point::max();
  if (end_) next = *end_;
  if (least_ != 0) next = std::min(next, nextSample_);
  if (next <= now) return 0;
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(next - now).count();
  return static_cast<unsigned long>(std::min<int64_t>(ms, 0x7fffffff));
}

}  // namespace net::wininet
