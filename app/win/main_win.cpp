// The Windows entry point: the command line as the system hands it over (GetCommandLineW: the
// arguments in UTF-16, whatever the ANSI code page).
#include <windows.h>

#include "app/command_line.h"
#include "app/installer_run.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  app::PlatformStart start;
  start.commandLine = argumentsAfterProgramName(GetCommandLineW());
  // The Win32 window host is not part of this build yet: only the job without a window runs.
  return app::runInstaller(start);
}
