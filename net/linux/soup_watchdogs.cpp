#include "net/linux/soup_watchdogs.h"

#include <algorithm>
#include <deque>
#include <utility>

namespace net::soup {

DeadlineWatch::DeadlineWatch(std::chrono::milliseconds limit, GCancellable* cancellable) {
  if (limit.count() <= 0) return;
  const auto end = std::chrono::steady_clock::now() + limit;
  thread_ = std::thread([this, end, cancellable] {
    std::unique_lock<std::mutex> lock(mutex_);
    if (changed_.wait_until(lock, end, [this] { return done_; })) return;
    expired_ = true;
    g_cancellable_cancel(cancellable);
  });
}

DeadlineWatch::~DeadlineWatch() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

bool DeadlineWatch::expired() {
  std::lock_guard<std::mutex> lock(mutex_);
  return expired_;
}

RateWatch::RateWatch(uint64_t bytesPerSecond, std::chrono::seconds window, GCancellable* cancellable) {
  if (bytesPerSecond == 0 || window.count() <= 0) return;
  const uint64_t least = bytesPerSecond * static_cast<uint64_t>(window.count());
  const auto step = std::max<std::chrono::milliseconds>(std::chrono::milliseconds(100), window / 10);
  thread_ = std::thread([this, least, window, step, cancellable] {
    using Clock = std::chrono::steady_clock;
    // (time, bytes so far) samples; the oldest one at least |window| old is the reference.
    std::deque<std::pair<Clock::time_point, uint64_t>> samples{{Clock::now(), 0}};
    std::unique_lock<std::mutex> lock(mutex_);
    while (!changed_.wait_for(lock, step, [this] { return done_; })) {
      const auto now = Clock::now();
      samples.emplace_back(now, received_.load());
      while (samples.size() > 1 && now - samples[1].first >= window) samples.pop_front();
      if (now - samples.front().first < window) continue;
      if (samples.back().second - samples.front().second >= least) continue;
      expired_ = true;
      g_cancellable_cancel(cancellable);
      return;
    }
  });
}

RateWatch::~RateWatch() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

bool RateWatch::expired() {
  std::lock_guard<std::mutex> lock(mutex_);
  return expired_;
}

}  // namespace net::soup
