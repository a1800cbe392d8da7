// Used by the sources tarnwick_add_resources generates: each embeds one file with .incbin and
// registers it under its (type, id) during static initialisation.
#pragma once

#include <cstddef>
#include <cstdint>

namespace utility {

// A later registration of the same type and id replaces the earlier one.
class ResourceRegistration {
 public:
  ResourceRegistration(const wchar_t* type, int id, const uint8_t* data, size_t size);
};

}  // namespace utility
