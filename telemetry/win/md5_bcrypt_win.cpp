// MD5 through the system's CNG provider: the digest is a checksum of the collection protocol,
// which the system's FIPS policy does not switch off for CNG callers.
#include <windows.h>
#include <bcrypt.h>

#include <array>
#include <cstdio>

#include "telemetry/device_identity.h"

namespace telemetry {

namespace {

class AlgorithmHandle {
 public:
  AlgorithmHandle() {
    if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&handle_, BCRYPT_MD5_ALGORITHM, nullptr, 0))) {
      handle_ = nullptr;
    }
  }
  ~AlgorithmHandle() {
    if (handle_ != nullptr) ::BCryptCloseAlgorithmProvider(handle_, 0);
  }
  AlgorithmHandle(const AlgorithmHandle&) = delete;
  AlgorithmHandle& operator=(const AlgorithmHandle&) = delete;
  BCRYPT_ALG_HANDLE get() const { return handle_; }

 private:
  BCRYPT_ALG_HANDLE handle_ = nullptr;
};

class HashHandle {
 public:
  explicit HashHandle(BCRYPT_ALG_HANDLE algorithm) {
    if (!BCRYPT_SUCCESS(::BCryptCreateHash(algorithm, &handle_, nullptr, 0, nullptr, 0, 0))) handle_ = nullptr;
  }
  ~HashHandle() {
    if (handle_ != nullptr) ::BCryptDestroyHash(handle_);
  }
  HashHandle(const HashHandle&) = delete;
  HashHandle& operator=(const HashHandle&) = delete;
  BCRYPT_HASH_HANDLE get() const { return handle_; }

 private:
  BCRYPT_HASH_HANDLE handle_ = nullptr;
};

}  // namespace

bool md5Hex(const void* data, long long length, std::string& out) {
  if (data == nullptr || length <= 0) return false;
  const AlgorithmHandle algorithm;
  if (algorithm.get() == nullptr) return false;
  const HashHandle hash(algorithm.get());
  if (hash.get() == nullptr) return false;
  // BCryptHashData takes 32-bit lengths: very large inputs go in pieces.
  auto* bytes = static_cast<unsigned char*>(const_cast<void*>(data));
  for (long long left = length; left > 0;) {
    const ULONG piece = static_cast<ULONG>(left < (1LL << 30) ? left : (1LL << 30));
    if (!BCRYPT_SUCCESS(::BCryptHashData(hash.get(), bytes, piece, 0))) return false;
    bytes += piece;
    left -= piece;
  }
  std::array<unsigned char, 16> digest{};
  if (!BCRYPT_SUCCESS(::BCryptFinishHash(hash.get(), digest.data(), static_cast<ULONG>(digest.size()), 0))) {
    return false;
  }
  std::string hex;
  for (const unsigned char byte : digest) {
    char pair[3];
    std::snprintf(pair, sizeof(pair), "%02x", byte);
    hex += pair;
  }
  out = hex;
  return true;
}

}  // namespace telemetry
