// The overall limits of one request of the WinINet client, kept on the request's own thread: it
// waits for WinINet's completions with a time-out and asks here whether a limit has passed. The
// deadline ends a request from sending to the last byte; the minimum rate ends one that moves
// fewer than |bytesPerSecond| on average over the last |window| (sampled ten times per window,
// as curl's low-speed limit), so a server that trickles cannot hold the transfer for hours.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <utility>

namespace net::wininet {

class TransferLimits {
 public:
  using Clock = std::chrono::steady_clock;
  enum class Passed { kNone, kDeadline, kRate };

  TransferLimits(std::chrono::milliseconds deadline, uint64_t bytesPerSecond, std::chrono::seconds window);

  // |bytes| more of the body arrived.
  void add(uint64_t bytes) { received_ += bytes; }
  // Whether a limit has passed by now (takes the rate's samples that are due).
  Passed check();
  // How long a wait may last before check() has to run again; INFINITE (as a DWORD) when no
  // limit is set.
  unsigned long waitMs() const;

 private:
  std::optional<Clock::time_point> end_;
  uint64_t least_ = 0;  // bytes per window; 0: no rate rule
  std::chrono::seconds window_{0};
  std::chrono::milliseconds step_{0};
  Clock::time_point nextSample_{};
  std::deque<std::pair<Clock::time_point, uint64_t>> samples_;
  uint64_t received_ = 0;
};

}  // namespace net::wininet
