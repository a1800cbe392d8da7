#include "app/command_line.h"

#include "utility/base/strings.h"

namespace {

void appendQuoted(const std::wstring& argument, std::wstring& out) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    out += argument;
    return;
  }
  out += L'"';
  size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes are literal unless a quote follows them.
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');  // before the closing quote
  out += L'"';
}

}  // namespace

std::wstring commandLineText(int argc, const char* const* argv) {
  std::wstring text;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) text += L' ';
    // Decoded like the installer's own file name.
    appendQuoted(utility::hostTextToWide(argv[i]), text);
  }
  return text;
}
