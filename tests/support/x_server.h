// A private X server (Xvfb) for tests that start programs with windows: the display of the
// test's own, so tests running side by side never share one.
#pragma once

#include <sys/types.h>

#include <string>

namespace testsupport {

class XServer {
 public:
  // Starts Xvfb on a free display (it picks one itself) with a 1280x1024 screen, without access
  // control (a program started as root that becomes the desktop user still reaches it), and
  // waits until it accepts clients. display() is empty when no server could be started.
  XServer();
  ~XServer();
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  // ":N", for DISPLAY.
  const std::string& display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

}  // namespace testsupport
