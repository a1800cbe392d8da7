// The ANSI code page: the system's (GetACP) on Windows, converted by the system's converters; the
// character set of the user's locale on Linux, converted through iconv.
#pragma once

#include <string>
#include <string_view>

namespace utility {

// Whether the ANSI code page is UTF-8 (then the fast UTF-8 codec is used).
bool ansiIsUtf8();
// Name of the ANSI character set, for example "UTF-8" or "ISO-8859-1".
const std::string& ansiCharset();

// Conversions for code page 0 (ANSI) or a numbered Windows code page ("CP<n>" to iconv).
// Unconvertible input becomes U+FFFD, or the code page's default character on Windows (to
// wide), or the code page's default character "?" (to narrow; never a "best fit" look-alike).
std::wstring codePageToWide(unsigned codePage, std::string_view bytes);
std::string wideToCodePage(unsigned codePage, std::wstring_view text);

}  // namespace utility
