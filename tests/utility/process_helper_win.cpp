// The process tests' child program on Windows.
#include <windows.h>

#include <string>

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
  return -1;
}

}  // namespace processhelper
