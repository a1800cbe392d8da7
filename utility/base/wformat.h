// printf-style formatting of wide text with the conversions as the system's texts are written:
// "%s" is a wide string, "%S" / "%hs" a narrow one (ANSI code page), "%c" a wide character,
// "%I64d" / "%I64u" / "%I64x" 64-bit integers, "%Id" pointer-sized ones. Other conversions
// follow C (d i u o x X e E f F g G a A p %); "%n" is ignored. Lengths follow the C++ types of
// this platform ("%ld" takes a long).
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

namespace utility {

// Widths and precisions above this (written or passed with "*") count as this.
inline constexpr int kMaxFormatField = 100000;

// Formats into |out| (|capacity| wide characters including the terminator). Output that does
// not fit is cut; the buffer is always terminated when |capacity| > 0, and nothing is written
// when it is 0. Returns the length the whole output needs (without terminator).
size_t vformatTo(wchar_t* out, size_t capacity, const wchar_t* format, va_list args);
size_t formatTo(wchar_t* out, size_t capacity, const wchar_t* format, ...);

std::wstring vformat(const wchar_t* format, va_list args);
std::wstring format(const wchar_t* format, ...);

}  // namespace utility
