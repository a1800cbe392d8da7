// Helpers the fuzz targets share: turning fuzz bytes into wide text, and checks on what comes out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace fuzztext {

// The first byte picks how the rest becomes wide text: one character per byte (separator-heavy
// inputs the dictionaries steer), or one arbitrary value per three bytes (every value a wide
// string can hold, surrogates and values beyond U+10FFFF included).
inline std::wstring toWide(std::string_view bytes) {
  std::wstring text;
  if (bytes.empty()) return text;
  const bool units = (static_cast<unsigned char>(bytes[0]) & 1) != 0;
  bytes.remove_prefix(1);
  if (!units) {
    for (const char c : bytes) text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    return text;
  }
  for (size_t i = 0; i + 2 < bytes.size(); i += 3) {
    const uint32_t v = (uint32_t{static_cast<unsigned char>(bytes[i])} << 16) |
                       (uint32_t{static_cast<unsigned char>(bytes[i + 1])} << 8) |
                       static_cast<unsigned char>(bytes[i + 2]);
    text.push_back(static_cast<wchar_t>(v & 0x1FFFFF));
  }
  return text;
}

// A Unicode scalar value: what a wide text handed to the system or written as UTF-8 may hold.
inline bool isScalar(wchar_t c) {
  const auto v = static_cast<uint32_t>(c);
  return v <= 0x10FFFF && (v < 0xD800 || v > 0xDFFF);
}

inline bool isValidText(std::wstring_view text) {
  for (const wchar_t c : text) {
    if (!isScalar(c)) return false;
  }
  return true;
}

// Strict UTF-8: shortest forms only, no surrogates, nothing beyond U+10FFFF.
inline bool isValidUtf8(std::string_view bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    size_t extra = 0;
    uint32_t v = 0;
    if (b < 0x80) {
      ++i;
      continue;
    } else if ((b & 0xE0) == 0xC0) {
      extra = 1;
      v = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
      extra = 2;
      v = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
      extra = 3;
      v = b & 0x07;
    } else {
      return false;
    }
    if (i + extra >= bytes.size()) return false;
    for (size_t k = 1; k <= extra; ++k) {
      const auto c = static_cast<unsigned char>(bytes[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      v = (v << 6) | (c & 0x3F);
    }
    static constexpr uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (v < kMin[extra] || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return false;
    i += extra + 1;
  }
  return true;
}

// A control character of C0, DEL or C1.
inline bool isControl(wchar_t c) { return c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0); }

}  // namespace fuzztext
