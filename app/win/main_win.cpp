// The Windows entry point: the command line as the system hands it over (GetCommandLineW: the
// arguments in UTF-16, whatever the ANSI code page), and the windows through the Win32 host with
// the GDI painter.
#include <windows.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <utility>

#include "app/command_line.h"
#include "app/installer_run.h"
#include "toolkit/painting/win/gdi_paint.h"
#include "toolkit/painting/window_painting.h"
#include "toolkit/win/desktop_host_win.h"
#include "utility/system/dev_overrides.h"
#include "utility/system/log.h"
#include "utility/system/privilege.h"

namespace {

// The desktop's windows with the GDI painter; null when no window can be made. Development builds
// say "first-frame" on standard output once the main window is painted (start-up benchmarks).
std::unique_ptr<toolkit::WindowHostFactory> openWindowSystem(const toolkit::TextMeasurer& measurer) {
  toolkit::useWindowDrawing();
  const bool sayFirstFrame = utility::devOverride("TARNWICK_FIRST_FRAME").has_value();
  auto paint = [sayFirstFrame, said = false](HDC dc, toolkit::WindowImplBase& window,
                                             const toolkit::Rect& dirty) mutable {
    toolkit::paintWindow(dc, window, dirty);
    if (sayFirstFrame && !said && window.windowClassName() == L"cmainframe") {
      said = true;
      // The start-up benchmark ends the program on this line and reads the log's first lines
      // for where the start went: they are written first, not left to the writer's next round.
      common::flushLog(500);
      std::fputs("first-frame\n", stdout);
      std::fflush(stdout);
    }
  };
  return toolkit::createDesktopHost(measurer, paint);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Before the log or any other file is opened: where libraries may come from.
  const utility::usystem::ProcessStart prepared = utility::usystem::prepareProcessStart();
  if (!prepared.mayRun) return 1;
  app::PlatformStart start;
  start.commandLine = argumentsAfterProgramName(GetCommandLineW());
  start.logStart = [&prepared] {
    if (!prepared.logText.empty()) common::logPrint("wWinMain", __LINE__, L"%s", prepared.logText.c_str());
  };
  start.openWindows = openWindowSystem;
  start.onSessionEnd = [](std::function<void()> endNow) { toolkit::setSessionEndHandler(std::move(endNow)); };
  return app::runInstaller(start);
}
