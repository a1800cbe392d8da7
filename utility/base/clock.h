// Time facts: the local wall-clock time, the monotonic tick count and the system thread id.
#pragma once

#include <cstdint>

namespace utility {

struct LocalTime {
  int year, month, day, hour, minute, second, millisecond;
};

LocalTime localTimeNow();
// Milliseconds of a monotonic clock, truncated to 32 bits (GetTickCount).
uint32_t tickCount();
// The calling thread's system thread id.
unsigned long currentThreadId();

}  // namespace utility
