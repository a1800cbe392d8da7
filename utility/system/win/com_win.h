// COM for the calls of one function on the calling thread, and an owned interface pointer.
#pragma once

#include <windows.h>
#include <objbase.h>

namespace utility::com {

// Joins a single-threaded apartment for its lifetime and leaves it again (balanced). A thread
// that is already in the multi-threaded apartment stays there; COM is usable in both.
class ApartmentScope {
 public:
  ApartmentScope() : result_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
  ~ApartmentScope() {
    if (SUCCEEDED(result_)) ::CoUninitialize();
  }
  ApartmentScope(const ApartmentScope&) = delete;
  ApartmentScope& operator=(const ApartmentScope&) = delete;

  bool usable() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }

 private:
  HRESULT result_;
};

// Releases the interface it holds when it goes.
template <typename Interface>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  Interface* get() const { return pointer_; }
  Interface* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }
  // For the calls that hand out an interface (CoCreateInstance, QueryInterface).
  void** receive() {
    reset();
    return reinterpret_cast<void**>(&pointer_);
  }
  void reset() {
    if (pointer_ != nullptr) pointer_->Release();
    pointer_ = nullptr;
  }

 private:
  Interface* pointer_ = nullptr;
};

}  // namespace utility::com
