// The command line as the system hands it to a Windows program, rebuilt from the arguments.
#pragma once

#include <string>

// The text after the executable's name: the arguments joined by blanks, each written so that
// the system's own argument parser would read it back unchanged (quoted when it is empty or
// holds a blank, tab or quote; quotes and the backslashes before them escaped).
std::wstring commandLineText(int argc, const char* const* argv);
