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

std::wstring argumentsAfterProgramName(std::wstring_view commandLine) {
  size_t i = 0;
  if (!commandLine.empty() && commandLine[0] == L'"') {
    const size_t close = commandLine.find(L'"', 1);
    i = close == std::wstring_view::npos ? commandLine.size() : close + 1;
  } else {
    while (i < commandLine.size() && commandLine[i] != L' ' && commandLine[i] != L'\t') ++i;
  }
  while (i < commandLine.size() && (commandLine[i] == L' ' || commandLine[i] == L'\t')) ++i;
  return std::wstring(commandLine.substr(i));
}
