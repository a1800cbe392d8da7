// SHA-256 through the system's CNG provider. The hash object is reusable: each digest is taken
// from a duplicate, so the hash can be fed on.
#include <windows.h>
#include <bcrypt.h>

#include <array>
#include <cstdio>

#include "utility/base/sha256.h"

namespace utility {

namespace {

BCRYPT_ALG_HANDLE algorithm() {
  // Opened once for the process; CNG's algorithm handles may be shared between threads.
  static const BCRYPT_ALG_HANDLE handle = [] {
    BCRYPT_ALG_HANDLE opened = nullptr;
    if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&opened, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
      return BCRYPT_ALG_HANDLE{};
    }
    return opened;
  }();
  return handle;
}

BCRYPT_HASH_HANDLE newHash() {
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (algorithm() == nullptr || !BCRYPT_SUCCESS(::BCryptCreateHash(algorithm(), &hash, nullptr, 0, nullptr, 0, 0))) {
    return nullptr;
  }
  return hash;
}

}  // namespace

struct Sha256::State {
  BCRYPT_HASH_HANDLE hash = newHash();
  ~State() {
    if (hash != nullptr) ::BCryptDestroyHash(hash);
  }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {}

Sha256::~Sha256() = default;

void Sha256::update(const void* data, size_t length) {
  size_ += length;
  if (state_->hash == nullptr) return;
  // BCryptHashData takes 32-bit lengths: very large inputs go in pieces.
  auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
  while (length > 0) {
    const ULONG piece = static_cast<ULONG>(length < (size_t{1} << 30) ? length : (size_t{1} << 30));
    if (!BCRYPT_SUCCESS(::BCryptHashData(state_->hash, bytes, piece, 0))) {
      ::BCryptDestroyHash(state_->hash);
      state_->hash = nullptr;  // no digest rather than a wrong one
      return;
    }
    bytes += piece;
    length -= piece;
  }
}

void Sha256::reset() {
  size_ = 0;
  if (state_->hash != nullptr) ::BCryptDestroyHash(state_->hash);
  state_->hash = newHash();
}

std::string Sha256::hex() const {
  if (state_->hash == nullptr) return {};
  BCRYPT_HASH_HANDLE copy = nullptr;
  if (!BCRYPT_SUCCESS(::BCryptDuplicateHash(state_->hash, &copy, nullptr, 0, 0))) return {};
  std::array<unsigned char, 32> digest{};
  const bool finished =
      BCRYPT_SUCCESS(::BCryptFinishHash(copy, digest.data(), static_cast<ULONG>(digest.size()), 0));
  ::BCryptDestroyHash(copy);
  if (!finished) return {};
  std::string text;
  for (const unsigned char byte : digest) {
    char pair[3];
    std::snprintf(pair, sizeof(pair), "%02x", byte);
    text += pair;
  }
  return text;
}

}  // namespace utility
