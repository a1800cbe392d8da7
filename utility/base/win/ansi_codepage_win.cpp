// The ANSI code page is the system's own (GetACP); conversions are the system's converters.
#include <windows.h>

#include <climits>
#include <string>

#include "utility/base/ansi_codepage.h"

namespace utility {

namespace {

// Code page 0 is CP_ACP for the system as for us.
UINT systemCodePage(unsigned codePage) { return codePage == 0 ? CP_ACP : codePage; }

}  // namespace

const std::string& ansiCharset() {
  static const std::string kCharset = [] {
    const UINT acp = GetACP();
    return acp == CP_UTF8 ? std::string("UTF-8") : "CP" + std::to_string(acp);
  }();
  return kCharset;
}

bool ansiIsUtf8() {
  static const bool kUtf8 = GetACP() == CP_UTF8;
  return kUtf8;
}

std::wstring codePageToWide(unsigned codePage, std::string_view bytes) {
  // The converters count in int; no text of this program comes near that.
  if (bytes.empty() || bytes.size() > static_cast<size_t>(INT_MAX)) return {};
  const UINT cp = systemCodePage(codePage);
  const int length = static_cast<int>(bytes.size());
  // Invalid sequences become the code page's default character (U+FFFD for UTF-8).
  const int needed = MultiByteToWideChar(cp, 0, bytes.data(), length, nullptr, 0);
  if (needed <= 0) return {};
  std::wstring out(static_cast<size_t>(needed), L'\0');
  const int written = MultiByteToWideChar(cp, 0, bytes.data(), length, out.data(), needed);
  out.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return out;
}

std::string wideToCodePage(unsigned codePage, std::wstring_view text) {
  if (text.empty() || text.size() > static_cast<size_t>(INT_MAX)) return {};
  const UINT cp = systemCodePage(codePage);
  const int length = static_cast<int>(text.size());
  // No best fit: "／" or "∕" must not turn into "/" in a path or command line; what the code
  // page lacks becomes its default character ("?"). Some code pages refuse the flag.
  DWORD flags = WC_NO_BEST_FIT_CHARS;
  int needed = WideCharToMultiByte(cp, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0 && GetLastError() == ERROR_INVALID_FLAGS) {
    flags = 0;
    needed = WideCharToMultiByte(cp, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
  }
  if (needed <= 0) return {};
  std::string out(static_cast<size_t>(needed), '\0');
  const int written =
      WideCharToMultiByte(cp, flags, text.data(), length, out.data(), needed, nullptr, nullptr);
  out.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return out;
}

}  // namespace utility
