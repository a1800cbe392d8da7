// Android package names, the only campaign text that may reach a command line as a package.
#pragma once

#include <string>

// True for a Java-style package name as Android accepts it: at least two segments separated by
// dots, each an ASCII letter followed by ASCII letters, digits or underscores ("com.example.game").
// Anything else (blanks, quotes, "|", "=", control characters, an empty segment) is refused.
bool isAndroidPackageName(const std::wstring& name);
