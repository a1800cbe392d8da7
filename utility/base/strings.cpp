#include "utility/base/strings.h"

#include <array>
#include <climits>
#include <cstring>

#include "utility/base/ansi_codepage.h"
#include "utility/base/system_guid.h"

namespace utility {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
// UTF-16 (Windows) or UTF-32 wide text.
constexpr bool kWideIsUtf16 = sizeof(wchar_t) == 2;

bool isValidScalar(char32_t c) { return c < 0xD800 || (c > 0xDFFF && c <= 0x10FFFF); }
bool isHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Writes one character as wide text: a surrogate pair above U+FFFF where wide text is UTF-16.
inline wchar_t* putWide(char32_t c, wchar_t* o) {
  if (kWideIsUtf16 && c > 0xFFFF) {
    c -= 0x10000;
    *o++ = static_cast<wchar_t>(0xD800 + (c >> 10));
    *o++ = static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
    return o;
  }
  *o++ = static_cast<wchar_t>(c);
  return o;
}

// Reads the character at text[i], advancing i past it. A surrogate pair is one character where
// wide text is UTF-16; a surrogate that is not part of a pair, and any unit that is no
// character at all, reads as U+FFFD.
inline char32_t nextChar(std::wstring_view text, size_t& i) {
  const char32_t c = static_cast<char32_t>(text[i++]);
  if (kWideIsUtf16 && isHighSurrogate(c) && i < text.size() &&
      isLowSurrogate(static_cast<char32_t>(text[i]))) {
    const char32_t low = static_cast<char32_t>(text[i++]);
    return 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
  }
  return isValidScalar(c) ? c : kReplacement;
}

// Decodes UTF-8 the way the system's converter does: every invalid or truncated sequence
// becomes one U+FFFD and decoding resumes at the next byte that could start a sequence.
std::wstring decodeUtf8(const unsigned char* s, size_t n) {
  std::wstring out(n, L'\0');  // never more units than bytes (a pair comes from four)
  wchar_t* o = out.data();
  size_t i = 0;
  while (i < n) {
    const unsigned char b = s[i];
    if (b < 0x80) {
      *o++ = static_cast<wchar_t>(b);
      ++i;
      continue;
    }
    size_t need = 0;
    char32_t c = 0;
    char32_t min = 0;
    if (b >= 0xC2 && b <= 0xDF) {
      need = 1, c = b & 0x1F, min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
      need = 2, c = b & 0x0F, min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
      need = 3, c = b & 0x07, min = 0x10000;
    } else {
      *o++ = static_cast<wchar_t>(kReplacement);
      ++i;
      continue;
    }
    size_t j = 1;
    for (; j <= need && i + j < n; ++j) {
      const unsigned char t = s[i + j];
      if ((t & 0xC0) != 0x80) break;
      c = (c << 6) | (t & 0x3F);
    }
    if (j <= need || c < min || !isValidScalar(c)) {
      *o++ = static_cast<wchar_t>(kReplacement);
      i += (j > 1 && j <= need) ? j : 1;
      continue;
    }
    o = putWide(c, o);
    i += need + 1;
  }
  out.resize(static_cast<size_t>(o - out.data()));
  return out;
}

inline size_t utf8Length(char32_t c) {
  if (c < 0x80) return 1;
  if (c < 0x800) return 2;
  if (!isValidScalar(c)) return 3;  // U+FFFD
  return c < 0x10000 ? 3 : 4;
}

inline char* encodeUtf8(char32_t c, char* p) {
  if (!isValidScalar(c)) c = kReplacement;
  if (c < 0x80) {
    *p++ = static_cast<char>(c);
  } else if (c < 0x800) {
    *p++ = static_cast<char>(0xC0 | (c >> 6));
    *p++ = static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *p++ = static_cast<char>(0xE0 | (c >> 12));
    *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *p++ = static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *p++ = static_cast<char>(0xF0 | (c >> 18));
    *p++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *p++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  return p;
}

bool isBlank(wchar_t c) { return c == L' '; }

}  // namespace

size_t appendUtf8(std::wstring_view text, char* out, size_t capacity) {
  size_t needed = 0;
  char* p = out;
  for (size_t i = 0; i < text.size();) {
    const char32_t c = nextChar(text, i);
    const size_t len = utf8Length(c);
    if (needed + len <= capacity) p = encodeUtf8(c, p);
    needed += len;
  }
  return needed;
}

std::string wideToUtf8(std::wstring_view text) {
  std::string out;
  out.resize(text.size() * 4);
  const size_t n = appendUtf8(text, out.data(), out.size());
  out.resize(n);
  return out;
}

std::wstring utf8ToWide(std::string_view text) {
  return decodeUtf8(reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

std::wstring toWide(const char* bytes, int length, unsigned codePage) {
  if (bytes == nullptr || length < -1) return {};
  const size_t n = length == -1 ? std::strlen(bytes) : static_cast<size_t>(length);
  if (n == 0) return {};
  if (codePage == kCodePageUtf8 || (codePage == kCodePageAnsi && ansiIsUtf8())) {
    return decodeUtf8(reinterpret_cast<const unsigned char*>(bytes), n);
  }
  return codePageToWide(codePage, std::string_view(bytes, n));
}

std::string toNarrow(const wchar_t* text, int length, unsigned codePage) {
  if (text == nullptr || length < -1) return {};
  const size_t n = length == -1 ? std::wcslen(text) : static_cast<size_t>(length);
  if (n == 0) return {};
  if (codePage == kCodePageUtf8 || (codePage == kCodePageAnsi && ansiIsUtf8())) {
    return wideToUtf8(std::wstring_view(text, n));
  }
  return wideToCodePage(codePage, std::wstring_view(text, n));
}

std::wstring ansiToWide(const std::string& text) {
  return toWide(text.data(), static_cast<int>(std::min<size_t>(text.size(), INT_MAX)),
                kCodePageAnsi);
}

std::string wideToAnsi(const std::wstring& text) {
  return toNarrow(text.data(), static_cast<int>(std::min<size_t>(text.size(), INT_MAX)),
                  kCodePageAnsi);
}

std::string ansiToUtf8(const std::string& text) {
  const std::wstring wide = ansiToWide(text);
  if (wide.empty()) return {};
  return wideToUtf8(wide);
}

void trim(std::wstring& text) {
  size_t begin = 0;
  while (begin < text.size() && isBlank(text[begin])) ++begin;
  size_t end = text.size();
  while (end > begin && isBlank(text[end - 1])) --end;
  text = text.substr(begin, end - begin);
}

void toLower(std::wstring& text) {
  for (wchar_t& c : text) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
}

void split(const std::wstring& text, const std::wstring& delimiter, StringList& out) {
  if (text.empty() || delimiter.empty()) return;
  size_t start = 0;
  while (true) {
    const size_t hit = text.find(delimiter, start);
    std::wstring piece = text.substr(start, hit == std::wstring::npos ? hit : hit - start);
    trim(piece);
    out.push_back(std::move(piece));
    if (hit == std::wstring::npos) break;
    start = hit + delimiter.size();
  }
}

void parseKeyValues(const StringList& lines, const std::wstring& separator, StringMap& out) {
  if (separator.empty()) return;
  for (const std::wstring& line : lines) {
    const size_t at = line.find(separator);
    if (at == std::wstring::npos) continue;
    std::wstring key = line.substr(0, at);
    trim(key);
    toLower(key);
    if (key.empty()) continue;
    std::wstring value = line.substr(at + separator.size());
    trim(value);
    out[key] = std::move(value);
  }
}

bool getValue(const StringMap& map, const std::wstring& key, std::wstring& value) {
  const auto it = map.find(key);
  if (it == map.end()) return false;
  value = it->second;
  return true;
}

bool isAllDigits(const std::wstring& text) {
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
  }
  return true;
}

int leadingInt(const std::wstring& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == L' ' || (text[i] >= L'\t' && text[i] <= L'\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
  long long value = 0;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    value = value * 10 + (text[i] - L'0');
    if (value > INT_MAX) return negative ? INT_MIN : INT_MAX;  // saturate instead of wrapping
  }
  return static_cast<int>(negative ? -value : value);
}

std::wstring newGuidString() {
  GuidFields guid;
  if (!systemGuid(guid)) return {};
  const std::array<uint8_t, 8>& b = guid.data4;
  wchar_t text[40];
  std::swprintf(text, 40, L"%08lX_%04X_%04x_%02X%02X_%02X%02X%02X%02X%02X%02X",
                static_cast<unsigned long>(guid.data1), static_cast<unsigned>(guid.data2),
                static_cast<unsigned>(guid.data3), b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7]);
  return text;
}

}  // namespace utility
