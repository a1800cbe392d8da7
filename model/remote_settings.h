// The campaign's settings from the openid configuration document; what it does not give keeps
// these initial values.
#pragma once

#include <string>

struct RemoteSettings {
  std::wstring launchLandscape{}; // "launch_h", saved as "launch_1920.jpg"
  std::wstring launchPortrait{};  // "launch_V", saved as "launch_1080.jpg"
  std::wstring title{};           // "title"
  bool showAd = true;             // "ad" (an integer, true when not 0)
  std::wstring runApp{};          // "runapp"
  bool runAppStore = true;        // "runappstore" (an integer, true when not 0)
  std::wstring qqLink{};          // "qqlink"
  std::wstring shortcutName{};    // "shortcutname"
  std::wstring shortcutUrl{};     // "shortcuturl", the shortcut's icon
  bool cleanModel = false;        // "cleanmodel" (an integer, true when not 0)
  std::wstring heapSize{};        // "heapsize"
  int useRoot = -1;               // "root" (a boolean: 1 or 0); -1 when not given
};
