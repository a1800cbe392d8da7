#include "toolkit/win/dpi_win.h"

#include <algorithm>

namespace toolkit::win {
namespace {

// DPI_AWARENESS_CONTEXT values and DPI_AWARENESS, declared for Windows 10 only.
using AwarenessContext = HANDLE;
const AwarenessContext kPerMonitorV2 = reinterpret_cast<AwarenessContext>(static_cast<intptr_t>(-4));
const AwarenessContext kPerMonitor = reinterpret_cast<AwarenessContext>(static_cast<intptr_t>(-3));
constexpr int kAwarenessPerMonitor = 2;

template <class F>
F user32(const char* name) {
  HMODULE module = GetModuleHandleW(L"user32.dll");
  return module != nullptr ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

int threadAwareness() {
  using GetContext = AwarenessContext(WINAPI*)();
  using AwarenessOf = int(WINAPI*)(AwarenessContext);
  const auto getContext = user32<GetContext>("GetThreadDpiAwarenessContext");
  const auto awarenessOf = user32<AwarenessOf>("GetAwarenessFromDpiAwarenessContext");
  if (getContext == nullptr || awarenessOf == nullptr) return -1;
  return awarenessOf(getContext());
}

}  // namespace

bool perMonitorAware() { return threadAwareness() == kAwarenessPerMonitor; }

void makeProcessDpiAware() {
  const int awareness = threadAwareness();
  if (awareness > 0) return;  // the manifest (or the program) said so already
  using SetContext = BOOL(WINAPI*)(AwarenessContext);
  if (const auto setContext = user32<SetContext>("SetProcessDpiAwarenessContext")) {
    if (setContext(kPerMonitorV2) || setContext(kPerMonitor)) return;
  }
  using SetAware = BOOL(WINAPI*)();
  if (const auto setAware = user32<SetAware>("SetProcessDPIAware")) setAware();
}

unsigned dpiOfWindow(HWND window) {
  using DpiForWindow = UINT(WINAPI*)(HWND);
  if (const auto forWindow = user32<DpiForWindow>("GetDpiForWindow")) {
    const UINT dpi = forWindow(window);
    if (dpi != 0) return dpi;
  }
  HDC screen = GetDC(nullptr);
  const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<unsigned>(dpi) : 96u;
}

int scaleForDpi(unsigned dpi) { return std::max(1, static_cast<int>(dpi / 96)); }

}  // namespace toolkit::win
