// Test seam of the shell token on Windows.
#pragma once

#include <string>

namespace utility::process {

// The program taken for the desktop shell instead of "<Windows folder>\explorer.exe" (empty:
// the real one again), so tests can offer a shell process of their own, or none.
void setShellProgramForTesting(const std::wstring& program);

}  // namespace utility::process
