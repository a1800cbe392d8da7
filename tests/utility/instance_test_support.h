// Where the single-instance tests' locks and receivers live on the platform.
#pragma once

#include <filesystem>

namespace instancetest {

// Linux: makes |folder| (owner only) the runtime folder of this process's locks and sockets, so
// nothing is left in the user's own. Windows: names are the system's; the tests name theirs
// after their folder.
void useRuntimeFolder(const std::filesystem::path& folder);

// Whether this process can make top-level windows at all: Wine without an X server cannot (the
// receiver is such a window on Windows); always on Linux.
bool desktopWindowsAvailable();

}  // namespace instancetest
