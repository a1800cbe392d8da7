// The desktop's text scale on Windows: the "Make text bigger" setting, the percentage the system
// keeps as HKCU\Software\Microsoft\Accessibility "TextScaleFactor" (100 to 225; absent: 100).
#pragma once

#include <optional>

namespace toolkit::win {

// |percent|: the stored value, or none when there is none. Values the setting cannot hold are
// kept within 100..225.
double textScaleFromPercent(std::optional<unsigned long> percent);

// The scale now, read from the user's registry.
double desktopTextScale();

}  // namespace toolkit::win
