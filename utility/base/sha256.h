// SHA-256 fed in pieces (a downloaded installer is hashed while it arrives, never read twice).
// The platform's own implementation stands behind it: GLib's GChecksum on Linux, CNG (BCrypt)
// on Windows.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace utility {

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  // Adds |length| bytes.
  void update(const void* data, size_t length);
  // Starts over, as if nothing had been added.
  void reset();
  // Lower-case hex of the 32-byte digest of everything added since the last reset; empty when
  // the platform offers no SHA-256. The hash may be fed on afterwards.
  std::string hex() const;
  // Bytes added since the last reset.
  unsigned long long size() const { return size_; }

 private:
  struct State;  // the platform's hash object
  std::unique_ptr<State> state_;
  unsigned long long size_ = 0;
};

// Whether |text| is 64 hex digits (either case).
bool isSha256Hex(const std::string& text);

}  // namespace utility
