// MD5 through GLib's own implementation: the digest is a checksum of the collection protocol,
// and the crypto library refuses MD5 on machines set to FIPS mode.
#include <glib.h>

#include "telemetry/device_identity.h"

namespace telemetry {

bool md5Hex(const void* data, long long length, std::string& out) {
  if (data == nullptr || length <= 0) return false;
  GChecksum* checksum = g_checksum_new(G_CHECKSUM_MD5);
  if (checksum == nullptr) return false;
  // g_checksum_update takes a signed size: feed very large inputs in pieces.
  const auto* bytes = static_cast<const guchar*>(data);
  for (long long left = length; left > 0;) {
    const gssize piece = static_cast<gssize>(left < (1LL << 30) ? left : (1LL << 30));
    g_checksum_update(checksum, bytes, piece);
    bytes += piece;
    left -= piece;
  }
  out = g_checksum_get_string(checksum);  // lower-case hex
  g_checksum_free(checksum);
  return true;
}

}  // namespace telemetry
