// A fresh GUID from the system's generator: the platform part of utility::newGuidString.
#pragma once

#include <array>
#include <cstdint>

namespace utility {

struct GuidFields {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  std::array<uint8_t, 8> data4{};
};

// False when the system gives none (no random source).
bool systemGuid(GuidFields& guid);

}  // namespace utility
