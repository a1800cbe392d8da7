#include "utility/base/transfer_rate.h"

#include <cmath>

namespace utility {
namespace {

// Samples closer than this are taken together: a rate over a few milliseconds is noise.
constexpr uint32_t kMinStepMs = 200;

}  // namespace

void TransferRateEstimator::reset() { *this = TransferRateEstimator(); }

void TransferRateEstimator::sample(uint32_t nowMs, int64_t received, int64_t total) {
  total_ = total;
  nowTick_ = nowMs;
  if (!started_ || received < lastReceived_) {
    // The start, or the transfer began again (another stack, a new connection): the speed so far
    // stays the best guess, the byte count starts from here.
    if (!started_) firstTick_ = nowMs;
    started_ = true;
    lastTick_ = nowMs;
    lastGrowthTick_ = nowMs;
    lastReceived_ = received;
    received_ = received;
    return;
  }
  received_ = received;
  if (received > lastReceived_) lastGrowthTick_ = nowMs;
  const uint32_t elapsed = nowMs - lastTick_;
  if (elapsed < kMinStepMs) return;
  const double seconds = elapsed / 1000.0;
  const double instant = static_cast<double>(received - lastReceived_) / seconds;
  if (!rated_) {
    rate_ = instant;
    rated_ = true;
  } else {
    // Weighted by the time each sample covers, so irregular reports weigh what they span.
    const double weight = 1.0 - std::exp(-static_cast<double>(elapsed) / kSmoothingMs);
    rate_ += weight * (instant - rate_);
  }
  lastTick_ = nowMs;
  lastReceived_ = received;
}

TransferRateEstimator::Estimate TransferRateEstimator::estimate() const {
  Estimate result;
  if (!rated_ || nowTick_ - firstTick_ < kWarmUpMs) return result;
  result.known = true;
  result.bytesPerSecond = rate_;
  const bool stalled = nowTick_ - lastGrowthTick_ >= kStallMs;
  if (stalled || total_ <= 0 || received_ > total_ || rate_ < 1.0) return result;
  const double seconds = std::ceil(static_cast<double>(total_ - received_) / rate_);
  if (seconds <= static_cast<double>(kMaxSecondsLeft)) result.secondsLeft = static_cast<int64_t>(seconds);
  return result;
}

}  // namespace utility
