// The receiver on Windows: a hidden top-level window of a class named by the caller, which other
// processes find with FindWindowW and post to. Its messages arrive through the creating thread's
// message loop.
#include <windows.h>

#include "utility/system/log.h"
#include "utility/system/window_ipc.h"

namespace utility {

namespace {

HINSTANCE moduleInstance() { return ::GetModuleHandleW(nullptr); }

}  // namespace

struct WindowIPC::Impl {
  HWND window = nullptr;
  bool owner = false;  // created by us: destroyed by close
  IWindowIPCHandle* handler = nullptr;

  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
      auto* self = static_cast<Impl*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
      self->window = window;
      ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
      return ::DefWindowProcW(window, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
      ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      return ::DefWindowProcW(window, message, wParam, lParam);
    }
    if (message > WM_USER || message == WM_COPYDATA) {
      auto* self = reinterpret_cast<Impl*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
      if (self != nullptr && self->window == window && self->handler != nullptr) {
        self->handler->onHandleWindowIPC(message, static_cast<uintptr_t>(wParam), static_cast<intptr_t>(lParam));
      }
      return 0;
    }
    // The receiver lives until its owner closes it: a close from elsewhere would leave a running
    // instance that later launches cannot find.
    if (message == WM_CLOSE) return 0;
    return ::DefWindowProcW(window, message, wParam, lParam);
  }
};

WindowIPC::WindowIPC() : impl_(std::make_unique<Impl>()) {}

WindowIPC::~WindowIPC() { close(); }

void WindowIPC::close() {
  impl_->handler = nullptr;
  if (impl_->owner && impl_->window != nullptr) ::DestroyWindow(impl_->window);
  impl_->window = nullptr;
  impl_->owner = false;
}

bool WindowIPC::create(const std::wstring& className, IWindowIPCHandle* handler) {
  close();
  if (className.empty()) return false;
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.style = CS_DBLCLKS;
  windowClass.lpfnWndProc = &Impl::procedure;
  windowClass.hInstance = moduleInstance();
  windowClass.lpszClassName = className.c_str();
  // A class already registered (an earlier receiver of this process) is used again.
  if (::RegisterClassExW(&windowClass) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  const HWND window = ::CreateWindowExW(0, className.c_str(), L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                        moduleInstance(), impl_.get());
  if (window == nullptr) {
    impl_->window = nullptr;
    return false;
  }
  impl_->window = window;
  impl_->owner = true;
  impl_->handler = handler;
  return true;
}

bool WindowIPC::open(const std::wstring& className, const std::wstring& windowName) {
  close();
  ::SetLastError(0);
  const HWND window = ::FindWindowW(className.c_str(), windowName.empty() ? nullptr : windowName.c_str());
  if (window == nullptr) {
    const DWORD error = ::GetLastError();
    if (error != 0 && error != ERROR_FILE_NOT_FOUND) {
      common::logPrint("utility::WindowIPC::open", __LINE__, L"className:%s, windowName:%s, error:%d",
                       className.c_str(), windowName.c_str(), static_cast<int>(error));
    }
    return false;
  }
  impl_->window = window;
  return true;
}

bool WindowIPC::postMessage(unsigned message, uintptr_t wParam, intptr_t lParam) {
  if (impl_->window == nullptr) return false;
  return ::PostMessageW(impl_->window, message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam)) != FALSE;
}

}  // namespace utility
