#include "utility/system/ufile.h"

#include <utility>

namespace utility::ufile {

namespace {

// The code point at |at| and how many units it takes there (two for a surrogate pair).
std::pair<uint32_t, size_t> codePointAt(std::wstring_view text, size_t at) {
  const auto unit = static_cast<uint32_t>(text[at]);
  if (unit >= 0xD800 && unit <= 0xDBFF && at + 1 < text.size()) {
    const auto low = static_cast<uint32_t>(text[at + 1]);
    if (low >= 0xDC00 && low <= 0xDFFF) return {0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), 2};
  }
  return {unit, 1};
}

size_t utf8Bytes(uint32_t codePoint) {
  if (codePoint < 0x80) return 1;
  if (codePoint < 0x800) return 2;
  return codePoint < 0x10000 ? 3 : 4;
}

size_t lastSeparator(const std::wstring& path) {
  const size_t backslash = path.rfind(L'\\');
  return backslash != std::wstring::npos ? backslash : path.rfind(L'/');
}

}  // namespace

std::wstring fileName(const std::wstring& path, bool keepExtension) {
  const size_t sep = lastSeparator(path);
  if (sep == std::wstring::npos) return {};
  std::wstring name = path.substr(sep + 1);
  if (!keepExtension) {
    const size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos) name.erase(dot);
  }
  return name;
}

std::wstring parentDir(const std::wstring& path) {
  if (path.size() <= 1) return {};
  std::wstring text = path;
  if (text.back() == L'\\' || text.back() == L'/') text.pop_back();
  const size_t sep = lastSeparator(text);
  if (sep == std::wstring::npos) return {};
  return text.substr(0, sep + 1);
}

size_t utf8Length(std::wstring_view text) {
  size_t bytes = 0;
  for (size_t at = 0; at < text.size();) {
    const auto [codePoint, units] = codePointAt(text, at);
    bytes += utf8Bytes(codePoint);
    at += units;
  }
  return bytes;
}

size_t utf16Length(std::wstring_view text) {
  size_t units = 0;
  for (size_t at = 0; at < text.size();) {
    const auto [codePoint, used] = codePointAt(text, at);
    units += codePoint > 0xFFFF ? 2 : 1;
    at += used;
  }
  return units;
}

std::wstring temporaryNameFor(const std::wstring& path, const std::wstring& suffix) {
  const size_t sep = lastSeparator(path);
  const size_t nameStart = sep == std::wstring::npos ? 0 : sep + 1;
  const size_t suffixBytes = utf8Length(suffix);
  const std::wstring name = path.substr(nameStart);
  if (utf8Length(name) + suffixBytes <= kMaxFileNameBytes) return path + suffix;
  // Whole characters of the name while the suffix still fits behind them.
  size_t kept = 0;
  size_t bytes = 0;
  while (kept < name.size()) {
    const auto [codePoint, units] = codePointAt(name, kept);
    const size_t size = utf8Bytes(codePoint);
    if (bytes + size + suffixBytes > kMaxFileNameBytes) break;
    kept += units;
    bytes += size;
  }
  return path.substr(0, nameStart) + name.substr(0, kept) + suffix;
}

}  // namespace utility::ufile
