// Entry point: opens the log and the main-thread dispatcher, runs the application object and
// its message loop, and ends in order.
#include <cstdio>
#include <memory>
#include <string>

#include "app/command_line.h"
#include "app/download_impl.h"
#include "app/headless_job.h"
#include "app/window_automation.h"
#include "toolkit/cairo/cairo_drawing.h"
#include "toolkit/desktop_host.h"
#include "model/downloader_model.h"
#include "utility/system/dev_overrides.h"
#include "utility/system/privilege.h"
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

// Says in the log, once it is open, as whom this run works.
void logPrivilege(const utility::usystem::PrivilegeDrop& drop) {
  using Outcome = utility::usystem::PrivilegeDrop::Outcome;
  if (drop.outcome == Outcome::dropped) {
    common::logPrint("wWinMain", __LINE__, L"gave up root: running as desktop user %u (%s), named by %s",
                     drop.uid, utility::utf8ToWide(drop.user).c_str(),
                     utility::utf8ToWide(drop.source).c_str());
  } else if (drop.outcome == Outcome::stayedRoot) {
    common::logPrint("wWinMain", __LINE__, L"running as root: no desktop user known (%s)",
                     utility::utf8ToWide(drop.reason).c_str());
  }
}

// Every window of the installer measures with its own drawing; this one is never asked.
class NoMeasurer : public toolkit::TextMeasurer {
 public:
  toolkit::Size measure(std::wstring_view, int, int) const override { return {}; }
};

// The desktop's window system with the Cairo painter; null without a display. Development builds
// say "first-frame" on standard output once the main window is painted (start-up benchmarks).
std::unique_ptr<toolkit::WindowHostFactory> openWindowSystem(const toolkit::TextMeasurer& measurer) {
  toolkit::useCairoDrawing();
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
  const utility::usystem::PrivilegeDrop drop = utility::usystem::dropRootForDesktopUser();
  if (drop.outcome == utility::usystem::PrivilegeDrop::Outcome::failed) {
    // Neither root's files nor the user's may be touched by a half-changed identity.
    std::fprintf(stderr, "cannot give up root for user %u: %s (errno %d)\n", drop.uid,
                 drop.reason.c_str(), drop.error);
    return 1;
  }
  openLog();
  logPrivilege(drop);
  utility::MainLoop::quitOnTerminationSignals();

  // Development builds: the whole job at once, with no window (TARNWICK_AUTOMATION=headless).
  const bool headless = app::headlessJobRequested();
  NoMeasurer measurer;
  std::unique_ptr<toolkit::WindowHostFactory> windows;
  if (!headless) {
    windows = openWindowSystem(measurer);
    if (windows == nullptr) {
      std::fputs("The installer needs a graphical desktop: no display could be opened.\n", stderr);
      common::logPrint("wWinMain", __LINE__, L"no display");
      common::flushLog(2000);
      return 1;
    }
  }

  const std::wstring commandLine = commandLineText(argc, argv);
  DownloadImpl app;
  int exitCode = 0;
  if (app.entrance(commandLine.c_str())) {
    // Development builds: start the installed emulator at once, as the finish page's button
    // does (tests of the launch as the desktop user).
    if (utility::devOverride("TARNWICK_LAUNCH_AT_START")) DownloaderModel::instance().runPlayerWithPackage();
    if (headless) app::startHeadlessJob();
    // Development builds: a user for the window (automated runs, screenshots).
    const bool automated = !headless && app::windowAutomationRequested();
    if (automated) app::startWindowAutomation();
    utility::MainLoop::run();
    if (headless) exitCode = app::headlessJobExitCode();
    if (automated) app::finishWindowAutomation();
  }
  app.shutdown();
  common::flushLog(2000);
  return exitCode;
}
