#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include "utility/base/clock.h"

namespace utility {

LocalTime localTimeNow() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  // Converting seconds to local time takes a lock in the C library; keep the last answer of
  // this thread, since a busy thread logs many records within one second.
  thread_local time_t cachedSecond = -1;
  thread_local tm cached{};
  if (now.tv_sec != cachedSecond) {
    localtime_r(&now.tv_sec, &cached);
    cachedSecond = now.tv_sec;
  }
  return {cached.tm_year + 1900, cached.tm_mon + 1, cached.tm_mday, cached.tm_hour,
          cached.tm_min,         cached.tm_sec,     static_cast<int>(now.tv_nsec / 1000000)};
}

uint32_t tickCount() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

unsigned long currentThreadId() {
  thread_local const unsigned long id = static_cast<unsigned long>(syscall(SYS_gettid));
  return id;
}

}  // namespace utility
