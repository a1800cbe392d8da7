// Writing one argument into a Windows command line so that the target reads it back whole.
#pragma once

#include <string>

namespace utility {

// |argument| as it stands when it is not empty and holds no blank, tab, line break or quote;
// otherwise in double quotes, each quote escaped and the backslashes before a quote or before
// the closing quote doubled. splitCommandLine reads the result back as |argument|.
std::wstring quoteCommandLineArgument(const std::wstring& argument);

}  // namespace utility
