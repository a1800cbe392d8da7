#include "utility/base/sha256.h"

namespace utility {

bool isSha256Hex(const std::string& text) {
  if (text.size() != 64) return false;
  for (const char c : text) {
    const bool digit = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (!digit) return false;
  }
  return true;
}

}  // namespace utility
