#include <windows.h>

#include "tests/utility/process_test_support.h"

namespace processtest {

namespace {

constexpr UINT kKilledExitCode = 137;

}  // namespace

bool endsWithin(uint32_t pid, int limitMs) {
  const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (process == nullptr) return true;  // gone
  const bool ended = ::WaitForSingleObject(process, static_cast<DWORD>(limitMs)) == WAIT_OBJECT_0;
  ::CloseHandle(process);
  return ended;
}

void kill(uint32_t pid) {
  const HANDLE process = ::OpenProcess(PROCESS_TERMINATE, FALSE, pid);
  if (process == nullptr) return;
  ::TerminateProcess(process, kKilledExitCode);
  ::CloseHandle(process);
}

int killedExitCode() { return static_cast<int>(kKilledExitCode); }

}  // namespace processtest
