// The Linux entry point: gives up root for the desktop user before any file is opened, reads the
// arguments as bytes from the host, and shows the windows through GTK with the Cairo painter.
#include <cstdio>
#include <memory>
#include <string>

#include "app/command_line.h"
#include "app/installer_run.h"
#include "toolkit/cairo/cairo_drawing.h"
#include "toolkit/linux/desktop_host_gtk.h"
#include "utility/base/strings.h"
#include "utility/system/dev_overrides.h"
#include "utility/system/log.h"
#include "utility/system/privilege.h"

namespace {

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
  app::PlatformStart start;
  start.commandLine = commandLineText(argc, argv);
  start.logStart = [&drop] { logPrivilege(drop); };
  start.openWindows = openWindowSystem;
  return app::runInstaller(start);
}
