#include "app/command_line.h"

#include "utility/base/strings.h"
#include "utility/system/command_line_quote.h"

std::wstring commandLineText(int argc, const char* const* argv) {
  std::wstring text;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) text += L' ';
    // Decoded like the installer's own file name.
    text += utility::quoteCommandLineArgument(utility::hostTextToWide(argv[i]));
  }
  return text;
}
