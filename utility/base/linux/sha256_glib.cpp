// SHA-256 through GLib's GChecksum.
#include <glib.h>

#include "utility/base/sha256.h"

namespace utility {

struct Sha256::State {
  GChecksum* checksum = g_checksum_new(G_CHECKSUM_SHA256);
  ~State() {
    if (checksum != nullptr) g_checksum_free(checksum);
  }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {}

Sha256::~Sha256() = default;

void Sha256::update(const void* data, size_t length) {
  size_ += length;
  if (state_->checksum == nullptr) return;
  // g_checksum_update takes a signed size: very large inputs go in pieces.
  const auto* bytes = static_cast<const guchar*>(data);
  while (length > 0) {
    const size_t piece = length < (size_t{1} << 30) ? length : (size_t{1} << 30);
    g_checksum_update(state_->checksum, bytes, static_cast<gssize>(piece));
    bytes += piece;
    length -= piece;
  }
}

void Sha256::reset() {
  size_ = 0;
  if (state_->checksum != nullptr) g_checksum_reset(state_->checksum);
}

std::string Sha256::hex() const {
  if (state_->checksum == nullptr) return {};
  // A copy: GLib closes a checksum once its string has been asked for.
  GChecksum* copy = g_checksum_copy(state_->checksum);
  std::string text = g_checksum_get_string(copy);  // lower-case hex
  g_checksum_free(copy);
  return text;
}

}  // namespace utility
