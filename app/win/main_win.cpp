// The Windows entry point: the command line as the system hands it over (GetCommandLineW: the
// arguments in UTF-16, whatever the ANSI code page).
#include <windows.h>

#include "app/command_line.h"
#include "app/installer_run.h"
#include "utility/system/log.h"
#include "utility/system/privilege.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Before the log or any other file is opened: where libraries may come from.
  const utility::usystem::ProcessStart prepared = utility::usystem::prepareProcessStart();
  if (!prepared.mayRun) return 1;
  app::PlatformStart start;
  start.commandLine = argumentsAfterProgramName(GetCommandLineW());
  start.logStart = [&prepared] {
    if (!prepared.logText.empty()) common::logPrint("wWinMain", __LINE__, L"%s", prepared.logText.c_str());
  };
  // The Win32 window host is not part of this build yet: only the job without a window runs.
  return app::runInstaller(start);
}
