#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "toolkit/core/font_table.h"
#include "toolkit/linux/text_scale_linux.h"

namespace toolkit {

double textScaleFrom(int xftDpi, const char* dpiScaleVariable) {
  constexpr double kDesignedDpi = 96.0;
  double scale = xftDpi > 0 ? xftDpi / 1024.0 / kDesignedDpi : 1.0;
  if (dpiScaleVariable != nullptr) {
    // As GTK reads it: a C-locale number; anything else leaves the scale alone.
    const double factor = g_ascii_strtod(dpiScaleVariable, nullptr);
    if (std::isfinite(factor) && factor > 0) scale *= factor;
  }
  return std::clamp(scale, FontTable::kMinTextScale, FontTable::kMaxTextScale);
}

double desktopTextScale() {
  GtkSettings* settings = gtk_settings_get_default();
  if (settings == nullptr) return 1.0;
  gint dpi = 0;
  g_object_get(settings, "gtk-xft-dpi", &dpi, nullptr);
  return textScaleFrom(dpi, std::getenv("GDK_DPI_SCALE"));
}

}  // namespace toolkit
