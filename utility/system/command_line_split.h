// Splitting a Windows command line into the argument vector its program receives.
#pragma once

#include <string>
#include <vector>

namespace utility {

// The arguments of a command line (the text after the program's name) as the C runtime reads
// them: blanks and tabs separate; double quotes group and may sit inside an argument; 2n
// backslashes before a quote give n backslashes and the quote toggles grouping; 2n+1 give n and
// a literal quote; other backslashes are literal; "" inside quotes is a literal quote; a quote
// left open runs to the end. So -path="D:\a b\" gives -path=D:\a b" (the backslash escapes the
// closing quote), as the target program sees it.
std::vector<std::wstring> splitCommandLine(const std::wstring& commandLine);

// One argument and where its text stands in the command line: [begin, end).
struct CommandLineArgument {
  std::wstring text;
  size_t begin = 0;
  size_t end = 0;
};
// The same arguments with their places, so that a caller can take some out and leave the rest
// of the text exactly as it was written.
std::vector<CommandLineArgument> splitCommandLineWithPlaces(const std::wstring& commandLine);

}  // namespace utility
