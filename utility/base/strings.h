// Text conversions and the small text tools of launch-parameter parsing.
// Wide text is std::wstring: UTF-16 where wchar_t has 16 bits (Windows; characters above U+FFFF
// are surrogate pairs), UTF-32 elsewhere. Narrow text is bytes in the ANSI code page (the
// system's; the locale's character set on Linux) or in UTF-8.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace utility {

inline constexpr unsigned kCodePageAnsi = 0;
inline constexpr unsigned kCodePageUtf8 = 65001;

using StringList = std::vector<std::wstring>;
using StringMap = std::map<std::wstring, std::wstring>;

// |length| -1 means up to the terminating zero (not included). A null input, another negative
// length, or input that converts to nothing gives an empty string. Invalid input is replaced
// (U+FFFD for UTF-8, the default character for the ANSI code page). A surrogate of UTF-16 text
// that is not part of a pair, and a surrogate value in UTF-32 text, is no character: U+FFFD in
// UTF-8, the default character in the ANSI code page.
std::wstring toWide(const char* bytes, int length, unsigned codePage);
std::string toNarrow(const wchar_t* text, int length, unsigned codePage);

std::wstring ansiToWide(const std::string& text);
std::wstring utf8ToWide(std::string_view text);
// Text the host system hands over as bytes (file names, arguments). Linux: UTF-8, with the
// ANSI code page only for the bytes that are not valid UTF-8, one run at a time. Windows: the
// ANSI code page, as its narrow interfaces give it (its own text is UTF-16 and is taken wide,
// never through this).
std::wstring hostTextToWide(std::string_view bytes);
std::string wideToAnsi(const std::wstring& text);
std::string wideToUtf8(std::wstring_view text);
std::string ansiToUtf8(const std::string& text);

// Appends the UTF-8 form of |text| to |out|, writing at most |capacity| bytes in total.
// Returns the number of bytes the whole text needs; when that exceeds the room left, the
// buffer holds a prefix and the caller treats the result as not fitting.
size_t appendUtf8(std::wstring_view text, char* out, size_t capacity);

// Removes blanks (U+0020 only) at both ends, in place.
void trim(std::wstring& text);
// Lowers "A" to "Z" only, in place.
void toLower(std::wstring& text);
// Appends the trimmed pieces of |text| between occurrences of |delimiter| to |out|; nothing
// when either is empty.
void split(const std::wstring& text, const std::wstring& delimiter, StringList& out);
// "key<sep>value" lines into |out|: key trimmed and lower-cased, value trimmed; lines without
// the separator or with an empty key are skipped; later lines win.
void parseKeyValues(const StringList& lines, const std::wstring& separator, StringMap& out);
bool getValue(const StringMap& map, const std::wstring& key, std::wstring& value);
// True when every character is "0" to "9" (true for the empty string).
bool isAllDigits(const std::wstring& text);
// The leading decimal value of |text| as _wtoi reads it (blanks, sign, digits; 0 otherwise).
int leadingInt(const std::wstring& text);

// A new random GUID as "XXXXXXXX_XXXX_xxxx_XXXX_XXXXXXXXXXXX" (36 characters); empty when no
// random source is available.
std::wstring newGuidString();

}  // namespace utility
