// What the tests against a real X server share (they run inside xvfb-run): driving the pointer
// and keyboard with xdotool, and reading its answers.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "toolkit/core/attribute_value.h"
#include "toolkit/core/input_event.h"

namespace toolkit::testing {

// Runs "xdotool <arguments>"; true when it succeeded.
inline bool xdotool(const std::string& arguments) {
  return std::system(("xdotool " + arguments).c_str()) == 0;
}

// Screen coordinates as xdotool takes them.
inline std::string at(Point p) { return std::to_string(p.x) + " " + std::to_string(p.y); }

// What "xdotool <arguments>" printed, through |scratch| (a file of the test's own); empty when
// it failed.
inline std::string xdotoolOutput(const std::string& arguments, const std::filesystem::path& scratch) {
  if (!xdotool(arguments + " > '" + scratch.string() + "'")) return {};
  std::ifstream in(scratch);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The frame (screen pixels) of the first window titled exactly |title| (waits until there is
// one); left -1 when xdotool cannot tell.
inline Rect windowFrame(const std::string& title, const std::filesystem::path& scratch) {
  const std::string shell = xdotoolOutput(
      "search --sync --name '^" + title + "$' getwindowgeometry --shell", scratch);
  int x = -1, y = -1, width = 0, height = 0;
  std::istringstream lines(shell);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("X=", 0) == 0) x = std::atoi(line.c_str() + 2);
    if (line.rfind("Y=", 0) == 0) y = std::atoi(line.c_str() + 2);
    if (line.rfind("WIDTH=", 0) == 0) width = std::atoi(line.c_str() + 6);
    if (line.rfind("HEIGHT=", 0) == 0) height = std::atoi(line.c_str() + 7);
  }
  return Rect{x, y, x + width, y + height};
}

inline Point windowPosition(const std::string& title, const std::filesystem::path& scratch) {
  const Rect frame = windowFrame(title, scratch);
  return Point{frame.left, frame.top};
}

}  // namespace toolkit::testing
