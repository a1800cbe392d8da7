#include <windows.h>

#include "utility/base/clock.h"

namespace utility {

LocalTime localTimeNow() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

uint32_t tickCount() { return GetTickCount(); }

unsigned long currentThreadId() { return GetCurrentThreadId(); }

}  // namespace utility
