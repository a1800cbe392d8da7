// One open file of the system, closed when its holder goes: a descriptor on POSIX systems, a
// HANDLE on Windows. Held as an integer so that portable headers name no platform type; both
// systems use -1 for "no file" (INVALID_HANDLE_VALUE is -1 as an integer).
#pragma once

#include <cstdint>

namespace utility {

class PlatformFile {
 public:
  using Native = intptr_t;
  static constexpr Native kInvalid = -1;

  PlatformFile() = default;
  explicit PlatformFile(Native native) : native_(native) {}
  ~PlatformFile() { reset(); }
  PlatformFile(PlatformFile&& other) noexcept : native_(other.release()) {}
  PlatformFile& operator=(PlatformFile&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  PlatformFile(const PlatformFile&) = delete;
  PlatformFile& operator=(const PlatformFile&) = delete;

  bool valid() const { return native_ != kInvalid; }
  Native get() const { return native_; }
  // Gives up the file without closing it.
  Native release() {
    const Native native = native_;
    native_ = kInvalid;
    return native;
  }
  // Closes the file held (the platform part) and holds |native| instead.
  void reset(Native native = kInvalid);

 private:
  Native native_ = kInvalid;
};

}  // namespace utility
