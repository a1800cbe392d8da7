// GUIDs as random version-4 UUIDs (RFC 4122) from the kernel's random source.
#include <cstring>
#include <random>

#include "utility/base/system_guid.h"

namespace utility {

bool systemGuid(GuidFields& guid) {
  std::array<unsigned char, 16> b{};
  try {
    std::random_device source;
    for (size_t i = 0; i < b.size(); i += 4) {
      const unsigned v = source();
      std::memcpy(&b[i], &v, 4);
    }
  } catch (...) {
    return false;
  }
  b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40);  // version 4
  b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);  // RFC 4122 variant
  guid.data1 = (static_cast<uint32_t>(b[0]) << 24) | (static_cast<uint32_t>(b[1]) << 16) |
               (static_cast<uint32_t>(b[2]) << 8) | b[3];
  guid.data2 = static_cast<uint16_t>((b[4] << 8) | b[5]);
  guid.data3 = static_cast<uint16_t>((b[6] << 8) | b[7]);
  std::memcpy(guid.data4.data(), &b[8], guid.data4.size());
  return true;
}

}  // namespace utility
