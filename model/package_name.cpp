#include "model/package_name.h"

namespace {

bool isAsciiLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }
bool isAsciiDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

}  // namespace

bool isAndroidPackageName(const std::wstring& name) {
  size_t segments = 0;
  size_t start = 0;
  while (true) {
    const size_t dot = name.find(L'.', start);
    const size_t end = dot == std::wstring::npos ? name.size() : dot;
    if (end == start || !isAsciiLetter(name[start])) return false;
    for (size_t i = start + 1; i < end; ++i) {
      if (!isAsciiLetter(name[i]) && !isAsciiDigit(name[i]) && name[i] != L'_') return false;
    }
    ++segments;
    if (dot == std::wstring::npos) break;
    start = dot + 1;
  }
  return segments >= 2;
}
