// A hidden receiver that other processes of the same user can find by its class name and post
// messages to. Messages above WM_USER and WM_COPYDATA reach the handler on the main loop.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace utility {

inline constexpr unsigned kWmCopyData = 0x4A;
inline constexpr unsigned kWmUser = 0x400;

class IWindowIPCHandle {
 public:
  virtual ~IWindowIPCHandle() = default;
  virtual int onHandleWindowIPC(unsigned message, uintptr_t wParam, intptr_t lParam) = 0;
};

class WindowIPC {
 public:
  WindowIPC();
  ~WindowIPC();
  WindowIPC(const WindowIPC&) = delete;
  WindowIPC& operator=(const WindowIPC&) = delete;

  // Main thread: creates the receiver named |className| and hands its messages to |handler|.
  bool create(const std::wstring& className, IWindowIPCHandle* handler);
  // Any thread: finds the receiver of |className| (an empty |windowName| stands for any).
  bool open(const std::wstring& className, const std::wstring& windowName = L"");
  // Posts to the receiver created or found; does not wait.
  bool postMessage(unsigned message, uintptr_t wParam, intptr_t lParam);
  void close();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace utility
