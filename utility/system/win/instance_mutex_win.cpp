// The single-instance lock on Windows: a named mutex. The system lets the name go with the last
// handle, so a crashed run leaves nothing that blocks the next one.
#include <windows.h>

#include <memory>

#include "utility/system/usystem.h"
#include "utility/system/win/kernel_handle_win.h"

namespace utility::usystem {

struct InstanceMutex::Native {
  utility::win::KernelHandle mutex;
};

InstanceMutex::InstanceMutex() = default;
InstanceMutex::~InstanceMutex() = default;
InstanceMutex::InstanceMutex(InstanceMutex&& other) noexcept = default;
InstanceMutex& InstanceMutex::operator=(InstanceMutex&& other) noexcept = default;

void InstanceMutex::close() { native_.reset(); }

InstanceMutex createInstanceMutex(const std::wstring& name, bool initiallyOwned, bool failIfExists) {
  InstanceMutex mutex;
  if (name.empty()) {
    mutex.error_ = ERROR_INVALID_NAME;  // an unnamed mutex would tell nothing about other runs
    return mutex;
  }
  utility::win::KernelHandle handle(::CreateMutexW(nullptr, initiallyOwned ? TRUE : FALSE, name.c_str()));
  const DWORD error = ::GetLastError();
  if (!handle) {
    if (error == ERROR_ACCESS_DENIED) {
      // The name exists and belongs to a run with other rights: another instance holds it.
      mutex.alreadyExisted_ = true;
    } else {
      mutex.error_ = static_cast<int>(error);
    }
    return mutex;
  }
  if (error == ERROR_ALREADY_EXISTS) {
    mutex.alreadyExisted_ = true;
    if (failIfExists) return mutex;  // the handle closes with |handle|
  }
  mutex.native_ = std::make_unique<InstanceMutex::Native>();
  mutex.native_->mutex = std::move(handle);
  return mutex;
}

}  // namespace utility::usystem
