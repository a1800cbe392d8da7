#include <windows.h>

#include "tests/utility/instance_test_support.h"

namespace instancetest {

void useRuntimeFolder(const std::filesystem::path&) {}

bool desktopWindowsAvailable() {
  const HWND probe = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                       ::GetModuleHandleW(nullptr), nullptr);
  if (probe == nullptr) return false;
  ::DestroyWindow(probe);
  return true;
}

}  // namespace instancetest
