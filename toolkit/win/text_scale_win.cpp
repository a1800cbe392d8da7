#include "toolkit/win/text_scale_win.h"

#include <windows.h>

#include <algorithm>

namespace toolkit::win {

double textScaleFromPercent(std::optional<unsigned long> percent) {
  constexpr unsigned long kSmallest = 100, kLargest = 225;
  if (!percent) return 1.0;
  return static_cast<double>(std::clamp(*percent, kSmallest, kLargest)) / 100.0;
}

double desktopTextScale() {
  DWORD value = 0;
  DWORD size = sizeof(value);
  // A value of another type (a string, say) is not the setting: the default stands.
  const LSTATUS read = RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Accessibility",
                                    L"TextScaleFactor", RRF_RT_REG_DWORD, nullptr, &value, &size);
  return textScaleFromPercent(read == ERROR_SUCCESS ? std::optional<unsigned long>(value)
                                                    : std::nullopt);
}

}  // namespace toolkit::win
