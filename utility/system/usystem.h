// System facts and the single-instance lock.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace utility {
namespace usystem {

// A named single-instance lock, held until closed or the process ends (a crashed run leaves
// nothing that blocks the next one). On Linux a locked file in the user's runtime folder, on
// Windows a named mutex.
class InstanceMutex {
 public:
  InstanceMutex();
  ~InstanceMutex();
  InstanceMutex(InstanceMutex&& other) noexcept;
  InstanceMutex& operator=(InstanceMutex&& other) noexcept;
  InstanceMutex(const InstanceMutex&) = delete;
  InstanceMutex& operator=(const InstanceMutex&) = delete;

  bool valid() const { return native_ != nullptr; }
  // True when another process held the name when this handle was made.
  bool alreadyExisted() const { return alreadyExisted_; }
  // The system's error code (errno on Linux, the last error on Windows) of a lock that could not
  // be made at all (no usable runtime folder, lock file refused, a name the system rejects), as
  // opposed to one held by another process; 0 otherwise.
  int error() const { return error_; }
  void close();

  struct Native;  // the platform's lock, defined beside its implementation

 private:
  friend InstanceMutex createInstanceMutex(const std::wstring&, bool, bool);
  std::unique_ptr<Native> native_;
  bool alreadyExisted_ = false;
  int error_ = 0;
};

// Creates or opens the named lock. With |failIfExists|, a name held by another process gives
// an invalid handle. |initiallyOwned| is the mutex's initial owner on Windows and has no further
// meaning on Linux.
InstanceMutex createInstanceMutex(const std::wstring& name, bool initiallyOwned, bool failIfExists);

// The user's UI language as a Windows language id (primary language in the low 10 bits).
uint16_t userDefaultUILanguage();

// Operating-system facts: this host is version 10.0, 64-bit when the machine is (x86_64,
// aarch64). Development builds can fake older systems with TARNWICK_FAKE_OS ("xp", "32bit",
// "xp,32bit").
bool isVistaOrLater();
bool is64BitSystem();

// ---- The system's version as a Windows program without a compatibility manifest is told it:
// 10.0 here; development builds fake "xp" (5.1) and "win7" (6.1) with TARNWICK_FAKE_OS.
struct OsVersion {
  unsigned major = 0;
  unsigned minor = 0;
  // True when this version is older than |major|.|minor| (the pair compared, not each part).
  bool before(unsigned otherMajor, unsigned otherMinor) const {
    return major < otherMajor || (major == otherMajor && minor < otherMinor);
  }
};
OsVersion osVersion();

}  // namespace usystem
}  // namespace utility
