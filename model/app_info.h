// One Android app to install after the emulator.
#pragma once

#include <string>

struct AppInfo {
  std::wstring url;         // download address of the package file
  std::wstring package;     // Android package name
  std::wstring name;        // display name
  std::wstring screenshot;  // screenshot address
  std::wstring resolution;
  std::wstring spare;       // no source fills it; the app step may use it
  std::wstring gameId;
  std::wstring icon;        // icon address
  std::wstring obb;         // OBB address
  bool isXapk = false;
  bool fromAppStore = false;
};
