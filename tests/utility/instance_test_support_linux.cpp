#include <cstdlib>

#include "tests/utility/instance_test_support.h"

namespace instancetest {

void useRuntimeFolder(const std::filesystem::path& folder) { ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1); }

bool desktopWindowsAvailable() { return true; }

}  // namespace instancetest
