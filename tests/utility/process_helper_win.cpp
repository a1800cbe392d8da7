// The process tests' child program on Windows.
#include <windows.h>

#include <string>

// Windows-only modes:
//   post <class> <message>   post <message> to the receiver window of <class> (0: posted)
//   mutex <name>             exit with the last error after creating the mutex <name>

#include "tests/utility/process_helper.h"

namespace processhelper {

uint32_t currentPid() { return ::GetCurrentProcessId(); }

uint32_t startQuietChild(const char* program) {
  std::string line = "\"" + std::string(program) + "\" hold-quiet";
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    return 0;
  }
  ::CloseHandle(info.hThread);
  ::CloseHandle(info.hProcess);
  return info.dwProcessId;
}

void waitForKill() {
  while (true) ::Sleep(INFINITE);
}

int platformMode(int argc, char** argv) {
  const std::string mode = argv[1];
  // post <class> <message>: finds the receiver of <class> and posts <message> to it (0: posted).
  if (mode == "post" && argc == 4) {
    const HWND window = ::FindWindowA(argv[2], nullptr);
    if (window == nullptr) return 3;
    return ::PostMessageA(window, static_cast<UINT>(std::stoul(argv[3])), 0, 0) ? 0 : 4;
  }
  // mutex <name>: the last error after creating the named mutex (183: it already existed).
  if (mode == "mutex" && argc == 3) {
    const HANDLE mutex = ::CreateMutexA(nullptr, FALSE, argv[2]);
    const DWORD error = ::GetLastError();
    if (mutex != nullptr) ::CloseHandle(mutex);
    return static_cast<int>(error);
  }
  return -1;
}

}  // namespace processhelper
