// The owner of one kernel handle (process, thread, token, snapshot, mutex), closed when it goes.
#pragma once

#include <windows.h>

namespace utility::win {

class KernelHandle {
 public:
  KernelHandle() = default;
  explicit KernelHandle(HANDLE handle) : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
  ~KernelHandle() { reset(); }
  KernelHandle(KernelHandle&& other) noexcept : handle_(other.release()) {}
  KernelHandle& operator=(KernelHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  KernelHandle(const KernelHandle&) = delete;
  KernelHandle& operator=(const KernelHandle&) = delete;

  explicit operator bool() const { return handle_ != nullptr; }
  HANDLE get() const { return handle_; }
  HANDLE release() {
    HANDLE handle = handle_;
    handle_ = nullptr;
    return handle;
  }
  void reset(HANDLE handle = nullptr) {
    if (handle_ != nullptr) ::CloseHandle(handle_);
    handle_ = handle == INVALID_HANDLE_VALUE ? nullptr : handle;
  }

 private:
  HANDLE handle_ = nullptr;
};

}  // namespace utility::win
