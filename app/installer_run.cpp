#include "app/installer_run.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/development_run.h"
#include "app/download_impl.h"
#include "app/quiet_install.h"
#include "model/downloader_model.h"
#include "utility/system/dev_overrides.h"
#include "utility/system/log.h"
#include "utility/base/main_loop.h"
#include "utility/base/strings.h"
#include "utility/base/tasks.h"
#include "utility/system/ufile.h"

namespace {

void openLog() {
  std::wstring folder = utility::ufile::appDataDir() + L"\\downloader\\";
  if (!utility::ufile::exists(folder)) utility::ufile::makeDir(folder);
  common::setLogHook(common::log);
  utility::TaskDispatcher::create();
  common::initLog(folder + L"downloader.log");
  common::logPrint("wWinMain", __LINE__, L"\r\n\r\n start run");
}

// Every window of the installer measures with its own drawing; this one is never asked.
class NoMeasurer : public toolkit::TextMeasurer {
 public:
  toolkit::Size measure(std::wstring_view, int, int) const override { return {}; }
};

}  // namespace

namespace app {

int runInstaller(const PlatformStart& start) {
  openLog();
  if (start.logStart) start.logStart();
  utility::MainLoop::quitOnTerminationSignals();

  // The unattended installation (/quiet): the job with no window system at all.
  const app::QuietSwitches quiet = app::readQuietSwitches(start.commandLine);
  if (quiet.quiet) {
    const int code = app::runQuietInstall(quiet);
    common::flushLog(2000);
    return code;
  }

  // Development builds: the whole job at once, with no window (TARNWICK_AUTOMATION=headless), or a
  // user for the window (automated runs, screenshots).
  const DevelopmentRun development = requestedDevelopmentRun();
  const bool headless = development == DevelopmentRun::kHeadlessJob;
  NoMeasurer measurer;
  std::unique_ptr<toolkit::WindowHostFactory> windows;
  if (!headless) {
    if (!start.openWindows) {
      std::fputs("This build of the installer has no window: only the job without one runs.\n", stderr);
      common::logPrint("wWinMain", __LINE__, L"no window host");
      common::flushLog(2000);
      return 1;
    }
    windows = start.openWindows(measurer);
    if (windows == nullptr) {
      std::fputs("The installer needs a graphical desktop: no display could be opened.\n", stderr);
      common::logPrint("wWinMain", __LINE__, L"no display");
      common::flushLog(2000);
      return 1;
    }
  }

  DownloadImpl app;
  int exitCode = 0;
  bool developmentStarted = false;
  bool ending = false;
  // What follows the loop, however the loop ends; once.
  auto orderlyEnd = [&] {
    if (ending) return;
    ending = true;
    if (developmentStarted) exitCode = finishDevelopmentRun(development);
    app.shutdown();
    common::flushLog(2000);
  };
  if (windows != nullptr && start.onSessionEnd) {
    start.onSessionEnd([&orderlyEnd, &ending] {
      if (ending) return;  // already on its way out
      common::logPrint("wWinMain", __LINE__, L"the session ends");
      orderlyEnd();
      std::fflush(nullptr);
      // The loop never returns to its caller: end here, as the system would.
      std::_Exit(0);
    });
  }
  if (app.entrance(start.commandLine.c_str())) {
    // Development builds: start the installed emulator at once, as the finish page's button
    // does (tests of the launch as the desktop user).
    if (utility::devOverride("TARNWICK_LAUNCH_AT_START")) DownloaderModel::instance().runPlayerWithPackage();
    startDevelopmentRun(development);
    developmentStarted = true;
    utility::MainLoop::run();
  }
  orderlyEnd();
  if (windows != nullptr && start.onSessionEnd) start.onSessionEnd({});
  return exitCode;
}

}  // namespace app
