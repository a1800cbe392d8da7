// The transfer rate and the time left of a download, as a user reads them: smoothed so that a
// burst or a short pause does not make the figures jump, and given only once they mean something.
#pragma once

#include <cstdint>

namespace utility {

class TransferRateEstimator {
 public:
  // Nothing is said before this much of the transfer has been seen: the first second's rate is
  // mostly the connection's start.
  static constexpr uint32_t kWarmUpMs = 3000;
  // The time constant of the exponential weighting: a change of rate shows about two thirds
  // of itself after this long.
  static constexpr uint32_t kSmoothingMs = 5000;
  // Nothing arrived for this long: the download is stalled and no time left is given.
  static constexpr uint32_t kStallMs = 5000;
  // A time left beyond this says nothing useful.
  static constexpr int64_t kMaxSecondsLeft = 99LL * 3600;

  struct Estimate {
    bool known = false;          // false: say nothing yet
    double bytesPerSecond = 0;   // smoothed; valid when known
    int64_t secondsLeft = -1;    // -1: not known (no total, stalled, too long)
  };

  // A new transfer: forgets everything.
  void reset();

  // What the transfer has received so far at |nowMs| (a 32-bit millisecond tick count, which may
  // wrap) of |total| bytes (0 or less: unknown). Call it on every progress report and, so that a
  // stall shows, now and then without new bytes. The first sample is the starting point: bytes
  // kept from an earlier run are not counted as speed. Fewer bytes than before mean the
  // transfer started again: that sample becomes the new starting point.
  void sample(uint32_t nowMs, int64_t received, int64_t total);

  Estimate estimate() const;

 private:
  bool started_ = false;
  bool rated_ = false;  // rate_ holds a measured value
  uint32_t firstTick_ = 0;
  uint32_t lastTick_ = 0;       // the last sample the rate took in
  uint32_t lastGrowthTick_ = 0; // the last sample with new bytes
  uint32_t nowTick_ = 0;
  int64_t lastReceived_ = 0;
  int64_t received_ = 0;
  int64_t total_ = 0;
  double rate_ = 0;
};

}  // namespace utility
