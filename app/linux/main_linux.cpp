// The Linux entry point: gives up root for the desktop user before any file is opened, reads the
// arguments as bytes from the host, and shows the windows through GTK with the Cairo painter.
#include <cstdio>
#include <memory>
#include <string>

#include "app/command_line.h"
#include "app/installer_run.h"
#include "toolkit/painting/linux/cairo_paint.h"
#include "toolkit/painting/window_painting.h"
#include "toolkit/linux/desktop_host_gtk.h"
#include "utility/system/dev_overrides.h"
#include "utility/system/log.h"
#include "utility/system/privilege.h"

namespace {

// The desktop's window system with the Cairo painter; null without a display. Development builds
// say "first-frame" on standard output once the main window is painted (start-up benchmarks).
std::unique_ptr<toolkit::WindowHostFactory> openWindowSystem(const toolkit::TextMeasurer& measurer) {
  toolkit::useWindowDrawing();
  const bool sayFirstFrame = utility::devOverride("TARNWICK_FIRST_FRAME").has_value();
  auto paint = [sayFirstFrame, said = false](_cairo* context, toolkit::WindowImplBase& window,
                                             const toolkit::Rect& dirty) mutable {
    toolkit::paintWindow(context, window, dirty);
    if (sayFirstFrame && !said && window.windowClassName() == L"cmainframe") {
      said = true;
      std::fputs("first-frame\n", stdout);
      std::fflush(stdout);
    }
  };
  return toolkit::createDesktopHost(measurer, paint);
}

}  // namespace

int main(int argc, char** argv) {
  // Before the log or any other file is opened: every file from here on is the desktop user's.
  const utility::usystem::ProcessStart prepared = utility::usystem::prepareProcessStart();
  if (!prepared.mayRun) {
    std::fprintf(stderr, "%s\n", prepared.failure.c_str());
    return 1;
  }
  app::PlatformStart start;
  start.commandLine = commandLineText(argc, argv);
  // Says in the log, once it is open, as whom this run works.
  start.logStart = [&prepared] {
    if (!prepared.logText.empty()) common::logPrint("wWinMain", __LINE__, L"%s", prepared.logText.c_str());
  };
  start.openWindows = openWindowSystem;
  return app::runInstaller(start);
}
