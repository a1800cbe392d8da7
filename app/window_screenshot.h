// A picture of a window as it is laid out, for the development automation's record of a run.
#pragma once

#include <string>

#include "toolkit/core/window_impl_base.h"

namespace app {

// Writes |window| as a PNG file at |path|; false when it cannot (or this platform's drawing
// makes no pictures).
bool writeWindowScreenshot(toolkit::WindowImplBase& window, const std::string& path);

}  // namespace app
