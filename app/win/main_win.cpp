// The Windows entry point: the command line as the system hands it over (GetCommandLineW: the
// arguments in UTF-16, whatever the ANSI code page), and the windows through the Win32 host.
#include <windows.h>

#include <functional>
#include <memory>
#include <utility>

#include "app/command_line.h"
#include "app/installer_run.h"
#include "toolkit/win/desktop_host_win.h"
#include "utility/system/log.h"
#include "utility/system/privilege.h"

namespace {

// The desktop's windows; null when no window can be made. The GDI painter is not part of this
// build yet: the host fills the windows white.
std::unique_ptr<toolkit::WindowHostFactory> openWindowSystem(const toolkit::TextMeasurer& measurer) {
  return toolkit::createDesktopHost(measurer, {});
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
