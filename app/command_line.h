// The command line as the system hands it to a Windows program, rebuilt from the arguments.
#pragma once

#include <string>
#include <string_view>

// The text after the executable's name: the arguments joined by blanks, each written so that
// the system's own argument parser would read it back unchanged (quoted when it is empty or
// holds a blank, tab or quote; quotes and the backslashes before them escaped).
std::wstring commandLineText(int argc, const char* const* argv);

// The arguments part of a whole Windows command line (GetCommandLineW): the program's name is
// skipped as the system's parser reads it (quoted up to the next quote, else up to the first
// blank or tab, no escapes), then the blanks and tabs after it.
std::wstring argumentsAfterProgramName(std::wstring_view commandLine);
