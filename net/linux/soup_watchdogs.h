// The two watch threads of the platform HTTP client. The transfer blocks in socket calls that no
// main-context source could interrupt, so each limit is kept by a thread of its own that cancels
// the request's GCancellable.
#pragma once

#include <gio/gio.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace net::soup {

// Ends a request at its deadline (none when |limit| is not positive).
class DeadlineWatch {
 public:
  DeadlineWatch(std::chrono::milliseconds limit, GCancellable* cancellable);
  ~DeadlineWatch();
  DeadlineWatch(const DeadlineWatch&) = delete;
  DeadlineWatch& operator=(const DeadlineWatch&) = delete;

  // True once the deadline cancelled the request.
  bool expired();

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool done_ = false;
  bool expired_ = false;
  std::thread thread_;
};

// Ends a request that moves fewer than |bytesPerSecond| on average over |window| (as curl's
// low-speed limit does): a server that trickles resets every idle time-out and would hold the
// transfer for hours. The window slides; it is sampled ten times per window. No rule when either
// is zero.
class RateWatch {
 public:
  RateWatch(uint64_t bytesPerSecond, std::chrono::seconds window, GCancellable* cancellable);
  ~RateWatch();
  RateWatch(const RateWatch&) = delete;
  RateWatch& operator=(const RateWatch&) = delete;

  // |bytes| more arrived (the transfer's thread).
  void add(uint64_t bytes) { received_.fetch_add(bytes); }
  // True once the rule cancelled the request.
  bool expired();

 private:
  std::atomic<uint64_t> received_{0};
  std::mutex mutex_;
  std::condition_variable changed_;
  bool done_ = false;
  bool expired_ = false;
  std::thread thread_;
};

}  // namespace net::soup
