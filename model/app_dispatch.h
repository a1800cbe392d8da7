// Which way the first campaign app reaches the emulator once it is installed: handed over as a
// launch parameter, so that the emulator fetches it itself, or downloaded and installed by the
// installer (AppInstallJob).
#pragma once

#include <optional>
#include <string>

#include "model/app_info.h"

// The launch parameters that hand |app| to the emulator; nothing when the installer downloads
// it itself (no package, or a package with an address). A package that could add keys or
// arguments to the launch gives empty parameters: the emulator starts without the app.
std::optional<std::wstring> handOverParameters(const AppInfo& app);
