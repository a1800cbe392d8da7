#include "utility/base/wformat.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "utility/base/strings.h"

namespace utility {

namespace {

bool isHighSurrogate(wchar_t c) {
  if constexpr (sizeof(wchar_t) == 2) return c >= 0xD800 && c <= 0xDBFF;
  return false;
}

// Output that counts everything but stores only what fits. A capacity of 0 (or no buffer)
// stores nothing at all: the call only measures.
class Out {
 public:
  Out(wchar_t* buffer, size_t capacity)
      : buffer_(capacity > 0 ? buffer : nullptr),
        limit_(buffer != nullptr && capacity > 0 ? capacity - 1 : 0) {}

  void put(wchar_t c) {
    if (length_ < limit_) buffer_[length_] = c;
    ++length_;
  }
  void put(const wchar_t* s, size_t n) {
    if (length_ < limit_) {
      const size_t room = limit_ - length_;
      std::wmemcpy(buffer_ + length_, s, n < room ? n : room);
    }
    length_ += n;
  }
  void repeat(wchar_t c, size_t n) {
    if (length_ < limit_) {
      const size_t room = limit_ - length_;
      std::wmemset(buffer_ + length_, c, n < room ? n : room);
    }
    length_ += n;
  }
  size_t finish() {
    if (buffer_ == nullptr) return length_;
    size_t end = length_ < limit_ ? length_ : limit_;
    // Cut output ends before a surrogate pair it would split.
    if (end < length_ && end > 0 && isHighSurrogate(buffer_[end - 1])) --end;
    buffer_[end] = L'\0';
    return length_;
  }

 private:
  wchar_t* buffer_;
  size_t limit_;
  size_t length_ = 0;
};

struct Spec {
  bool left = false, plus = false, space = false, alt = false, zero = false;
  int width = 0;
  int precision = -1;
  enum Length { kNone, kChar, kShort, kLong, kLongLong, kInt64, kInt32, kSize, kIntMax,
                kPtrDiff, kLongDouble, kWide } length = kNone;
};

void pad(Out& out, const Spec& spec, size_t used, const wchar_t* body, size_t n) {
  const size_t width = spec.width > 0 ? static_cast<size_t>(spec.width) : 0;
  const size_t fill = width > used ? width - used : 0;
  if (!spec.left) out.repeat(L' ', fill);
  out.put(body, n);
  if (spec.left) out.repeat(L' ', fill);
}

// Whether a text cut after |s[n - 1]| would keep the first half of a surrogate pair alone.
bool cutsPair(const wchar_t* s, size_t n) {
  if constexpr (sizeof(wchar_t) == 2) {
    return n > 0 && s[n - 1] >= 0xD800 && s[n - 1] <= 0xDBFF && s[n] >= 0xDC00 && s[n] <= 0xDFFF;
  }
  return false;
}

void putString(Out& out, const Spec& spec, const wchar_t* s, size_t n) {
  if (spec.precision >= 0 && static_cast<size_t>(spec.precision) < n) {
    n = static_cast<size_t>(spec.precision);
    if (cutsPair(s, n)) --n;  // a precision counts units; a character is not split
  }
  pad(out, spec, n, s, n);
}

void putInteger(Out& out, const Spec& spec, uint64_t magnitude, bool negative, unsigned base,
                bool upper) {
  wchar_t digits[72];
  size_t n = 0;
  const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  if (!(magnitude == 0 && spec.precision == 0)) {
    do {
      digits[n++] = static_cast<wchar_t>(set[magnitude % base]);
      magnitude /= base;
    } while (magnitude != 0);
  }
  const bool octalZero = base == 8 && spec.alt && (n == 0 || digits[n - 1] != L'0');
  size_t precisionZeros =
      spec.precision > static_cast<int>(n) ? static_cast<size_t>(spec.precision) - n : 0;
  if (octalZero && precisionZeros == 0) precisionZeros = 1;

  wchar_t prefix[3];
  size_t prefixLength = 0;
  if (negative) {
    prefix[prefixLength++] = L'-';
  } else if (spec.plus && base == 10) {
    prefix[prefixLength++] = L'+';
  } else if (spec.space && base == 10) {
    prefix[prefixLength++] = L' ';
  }
  if (base == 16 && spec.alt && n > 0 && !(n == 1 && digits[0] == L'0')) {
    prefix[prefixLength++] = L'0';
    prefix[prefixLength++] = upper ? L'X' : L'x';
  }
  const size_t body = prefixLength + precisionZeros + n;
  const size_t width = spec.width > 0 ? static_cast<size_t>(spec.width) : 0;
  const size_t fill = width > body ? width - body : 0;
  const bool zeroFill = spec.zero && !spec.left && spec.precision < 0;
  if (!spec.left && !zeroFill) out.repeat(L' ', fill);
  out.put(prefix, prefixLength);
  if (zeroFill) out.repeat(L'0', fill);
  out.repeat(L'0', precisionZeros);
  for (size_t i = n; i > 0; --i) out.put(digits[i - 1]);
  if (spec.left) out.repeat(L' ', fill);
}

int64_t signedArgument(const Spec& spec, va_list& args) {
  switch (spec.length) {
    case Spec::kChar: return static_cast<signed char>(va_arg(args, int));
    case Spec::kShort: return static_cast<short>(va_arg(args, int));
    case Spec::kLong: return va_arg(args, long);
    case Spec::kLongLong:
    case Spec::kInt64: return va_arg(args, long long);
    case Spec::kSize:
    case Spec::kPtrDiff: return va_arg(args, ptrdiff_t);
    case Spec::kIntMax: return va_arg(args, intmax_t);
    default: return va_arg(args, int);
  }
}

uint64_t unsignedArgument(const Spec& spec, va_list& args) {
  switch (spec.length) {
    case Spec::kChar: return static_cast<unsigned char>(va_arg(args, unsigned));
    case Spec::kShort: return static_cast<unsigned short>(va_arg(args, unsigned));
    case Spec::kLong: return va_arg(args, unsigned long);
    case Spec::kLongLong:
    case Spec::kInt64: return va_arg(args, unsigned long long);
    case Spec::kSize:
    case Spec::kPtrDiff: return va_arg(args, size_t);
    case Spec::kIntMax: return va_arg(args, uintmax_t);
    default: return va_arg(args, unsigned);
  }
}

void putFloat(Out& out, const Spec& spec, wchar_t conversion, va_list& args) {
  char format[32];
  size_t f = 0;
  format[f++] = '%';
  if (spec.left) format[f++] = '-';
  if (spec.plus) format[f++] = '+';
  if (spec.space) format[f++] = ' ';
  if (spec.alt) format[f++] = '#';
  if (spec.zero) format[f++] = '0';
  format[f++] = '*';
  format[f++] = '.';
  format[f++] = '*';
  if (spec.length == Spec::kLongDouble) format[f++] = 'L';
  format[f++] = static_cast<char>(conversion);
  format[f] = '\0';
  // The value is read once; a long result (wide field, high precision) is formatted again
  // into a buffer of its size rather than cut.
  const bool isLong = spec.length == Spec::kLongDouble;
  const long double longValue = isLong ? va_arg(args, long double) : 0.0L;
  const double value = isLong ? 0.0 : va_arg(args, double);
  char stackText[512];
  std::string heapText;
  char* text = stackText;
  size_t size = sizeof(stackText);
  int n = -1;
  for (int attempt = 0; attempt < 2; ++attempt) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"  // the format is built from a parsed spec
    n = isLong ? std::snprintf(text, size, format, spec.width, spec.precision, longValue)
               : std::snprintf(text, size, format, spec.width, spec.precision, value);
#pragma GCC diagnostic pop
    if (n < 0 || static_cast<size_t>(n) < size) break;
    heapText.assign(static_cast<size_t>(n) + 1, '\0');
    text = heapText.data();
    size = heapText.size();
  }
  if (n < 0) return;
  const size_t length = std::min(static_cast<size_t>(n), size - 1);
  for (size_t i = 0; i < length; ++i) out.put(static_cast<wchar_t>(text[i]));
}

// A width or precision read from the arguments, within what a written field can sensibly be.
int clampedField(int value) {
  if (value < -kMaxFormatField) return -kMaxFormatField;
  return value > kMaxFormatField ? kMaxFormatField : value;
}

}  // namespace

size_t vformatTo(wchar_t* buffer, size_t capacity, const wchar_t* format, va_list argsIn) {
  Out out(buffer, capacity);
  if (format == nullptr) return out.finish();
  va_list args;
  va_copy(args, argsIn);
  const wchar_t* p = format;
  while (*p != L'\0') {
    const wchar_t* run = p;
    while (*p != L'\0' && *p != L'%') ++p;
    out.put(run, static_cast<size_t>(p - run));
    if (*p == L'\0') break;
    const wchar_t* start = p++;  // at '%'
    Spec spec;
    for (bool flags = true; flags;) {
      switch (*p) {
        case L'-': spec.left = true, ++p; break;
        case L'+': spec.plus = true, ++p; break;
        case L' ': spec.space = true, ++p; break;
        case L'#': spec.alt = true, ++p; break;
        case L'0': spec.zero = true, ++p; break;
        default: flags = false;
      }
    }
    if (*p == L'*') {
      // Clamped before negating: INT_MIN has no positive counterpart.
      spec.width = clampedField(va_arg(args, int));
      if (spec.width < 0) spec.left = true, spec.width = -spec.width;
      ++p;
    } else {
      while (*p >= L'0' && *p <= L'9') {
        spec.width = std::min(spec.width * 10 + (*p++ - L'0'), kMaxFormatField);
      }
    }
    if (*p == L'.') {
      ++p;
      spec.precision = 0;
      if (*p == L'*') {
        spec.precision = clampedField(va_arg(args, int));
        if (spec.precision < 0) spec.precision = -1;
        ++p;
      } else {
        while (*p >= L'0' && *p <= L'9') {
          spec.precision = std::min(spec.precision * 10 + (*p++ - L'0'), kMaxFormatField);
        }
      }
    }
    bool narrow = false;
    switch (*p) {
      case L'h':
        ++p;
        if (*p == L'h') ++p, spec.length = Spec::kChar;
        else spec.length = Spec::kShort;
        narrow = true;
        break;
      case L'l':
        ++p;
        if (*p == L'l') ++p, spec.length = Spec::kLongLong;
        else spec.length = Spec::kLong;
        break;
      case L'w': ++p, spec.length = Spec::kWide; break;
      case L'q': ++p, spec.length = Spec::kLongLong; break;
      case L'L': ++p, spec.length = Spec::kLongDouble; break;
      case L'j': ++p, spec.length = Spec::kIntMax; break;
      case L'z': ++p, spec.length = Spec::kSize; break;
      case L't': ++p, spec.length = Spec::kPtrDiff; break;
      case L'I':
        if (p[1] == L'6' && p[2] == L'4') p += 3, spec.length = Spec::kInt64;
        else if (p[1] == L'3' && p[2] == L'2') p += 3, spec.length = Spec::kInt32;
        else ++p, spec.length = Spec::kSize;
        break;
      default: break;
    }
    const wchar_t conversion = *p;
    if (conversion == L'\0') {  // a lone "%" at the end is written as it stands
      out.put(start, static_cast<size_t>(p - start));
      break;
    }
    ++p;
    switch (conversion) {
      case L'%': out.put(L'%'); break;
      case L'd':
      case L'i': {
        const int64_t v = signedArgument(spec, args);
        putInteger(out, spec, v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v),
                   v < 0, 10, false);
        break;
      }
      case L'u': putInteger(out, spec, unsignedArgument(spec, args), false, 10, false); break;
      case L'o': putInteger(out, spec, unsignedArgument(spec, args), false, 8, false); break;
      case L'x': putInteger(out, spec, unsignedArgument(spec, args), false, 16, false); break;
      case L'X': putInteger(out, spec, unsignedArgument(spec, args), false, 16, true); break;
      case L'p': {
        Spec pointer = spec;
        pointer.precision = static_cast<int>(sizeof(void*) * 2);
        putInteger(out, pointer, reinterpret_cast<uintptr_t>(va_arg(args, void*)), false, 16, true);
        break;
      }
      case L'c':
      case L'C': {
        const bool narrowChar = conversion == L'C' ? spec.length != Spec::kLong && spec.length != Spec::kWide
                                                   : narrow;
        // A wint_t narrower than int (UTF-16 wide text) arrives promoted: read what was passed.
        using PassedWint = decltype(+std::wint_t{});
        wchar_t c = narrowChar ? static_cast<wchar_t>(static_cast<unsigned char>(va_arg(args, int)))
                               : static_cast<wchar_t>(va_arg(args, PassedWint));
        pad(out, spec, 1, &c, 1);
        break;
      }
      case L's':
      case L'S':
      case L'Z': {
        const bool narrowString = conversion == L'S'
                                      ? spec.length != Spec::kLong && spec.length != Spec::kWide
                                      : narrow;
        if (narrowString) {
          const char* s = va_arg(args, const char*);
          if (s == nullptr) {
            putString(out, spec, L"(null)", 6);
          } else {
            size_t n = std::strlen(s);
            if (spec.precision >= 0 && static_cast<size_t>(spec.precision) < n) n = spec.precision;
            const std::wstring wide = toWide(s, static_cast<int>(n), kCodePageAnsi);
            putString(out, spec, wide.data(), wide.size());
          }
        } else {
          const wchar_t* s = va_arg(args, const wchar_t*);
          if (s == nullptr) {
            putString(out, spec, L"(null)", 6);
          } else {
            size_t n = 0;
            if (spec.precision >= 0) {
              while (n < static_cast<size_t>(spec.precision) && s[n] != L'\0') ++n;
              if (cutsPair(s, n)) --n;
            } else {
              n = std::wcslen(s);
            }
            putString(out, spec, s, n);
          }
        }
        break;
      }
      case L'e': case L'E': case L'f': case L'F': case L'g': case L'G': case L'a': case L'A':
        putFloat(out, spec, conversion, args);
        break;
      case L'n':
        (void)va_arg(args, void*);  // never written through
        break;
      default:  // unknown conversion: written as it stands
        out.put(start, static_cast<size_t>(p - start));
        break;
    }
  }
  va_end(args);
  return out.finish();
}

size_t formatTo(wchar_t* buffer, size_t capacity, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  const size_t n = vformatTo(buffer, capacity, format, args);
  va_end(args);
  return n;
}

std::wstring vformat(const wchar_t* format, va_list args) {
  wchar_t stackBuffer[512];
  va_list copy;
  va_copy(copy, args);
  const size_t n = vformatTo(stackBuffer, 512, format, copy);
  va_end(copy);
  if (n < 512) return std::wstring(stackBuffer, n);
  std::wstring text(n + 1, L'\0');
  vformatTo(text.data(), text.size(), format, args);
  text.resize(n);
  return text;
}

std::wstring format(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  std::wstring text = vformat(format, args);
  va_end(args);
  return text;
}

}  // namespace utility
