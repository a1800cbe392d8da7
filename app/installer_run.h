// The installer's run behind the platform's entry point: opens the log and the main-thread
// dispatcher, runs the application object and its message loop, and ends in order.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "toolkit/core/window_host.h"

namespace app {

// What the platform's entry point hands the run.
struct PlatformStart {
  // The text after the executable's name, as a Windows program gets it.
  std::wstring commandLine;
  // Says in the log, once it is open, what the platform did before it (may be empty).
  std::function<void()> logStart;
  // The desktop's window system with the platform's painter; null without a display.
  std::function<std::unique_ptr<toolkit::WindowHostFactory>(const toolkit::TextMeasurer&)> openWindows;
  // Hands the platform what to run when the desktop session ends under the windows (logging off,
  // shutting down), where the system may end the process as soon as it is told: the orderly end
  // that follows the loop, then the process's end. Empty: the loop's quit is enough.
  std::function<void(std::function<void()> endNow)> onSessionEnd;
};

// Runs the installer; the process's exit code.
int runInstaller(const PlatformStart& start);

}  // namespace app
