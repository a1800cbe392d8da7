#include "app/window_screenshot.h"

#include "toolkit/painting/window_painting.h"

namespace app {

bool writeWindowScreenshot(toolkit::WindowImplBase& window, const std::string& path) {
  return toolkit::writePng(toolkit::renderWindow(window), path);
}

}  // namespace app
