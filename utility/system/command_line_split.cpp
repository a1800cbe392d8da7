#include "utility/system/command_line_split.h"

#include <utility>

namespace utility {

std::vector<std::wstring> splitCommandLine(const std::wstring& commandLine) {
  std::vector<std::wstring> arguments;
  for (CommandLineArgument& argument : splitCommandLineWithPlaces(commandLine)) arguments.push_back(std::move(argument.text));
  return arguments;
}

std::vector<CommandLineArgument> splitCommandLineWithPlaces(const std::wstring& commandLine) {
  std::vector<CommandLineArgument> arguments;
  const size_t n = commandLine.size();
  size_t i = 0;
  while (true) {
    while (i < n && (commandLine[i] == L' ' || commandLine[i] == L'\t')) ++i;
    if (i >= n) break;
    const size_t begin = i;
    std::wstring argument;
    bool quoted = false;
    while (i < n) {
      const wchar_t c = commandLine[i];
      if ((c == L' ' || c == L'\t') && !quoted) break;
      if (c == L'\\') {
        size_t end = i;
        while (end < n && commandLine[end] == L'\\') ++end;
        const size_t count = end - i;
        if (end < n && commandLine[end] == L'"') {
          argument.append(count / 2, L'\\');
          if (count % 2 == 1) {
            argument.push_back(L'"');
            ++end;
          }
        } else {
          argument.append(count, L'\\');
        }
        i = end;
        continue;
      }
      if (c == L'"') {
        if (quoted && i + 1 < n && commandLine[i + 1] == L'"') {
          argument.push_back(L'"');
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
        continue;
      }
      argument.push_back(c);
      ++i;
    }
    arguments.push_back({std::move(argument), begin, i});
  }
  return arguments;
}

}  // namespace utility
