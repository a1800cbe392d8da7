// The desktop's text scale on Linux: the font resolution the desktop sets (the Xft/DPI setting,
// GtkSettings "gtk-xft-dpi") against the 96 dpi the skin is drawn for, times GDK_DPI_SCALE,
// as GTK itself scales its own texts.
#pragma once

namespace toolkit {

// |xftDpi|: the setting in 1/1024 dpi (0 or less: not set, 96 dpi); |dpiScaleVariable|: the
// value of GDK_DPI_SCALE (null or not a positive number: 1). The product is held within the
// font table's bounds.
double textScaleFrom(int xftDpi, const char* dpiScaleVariable);

// The scale now, from the default GtkSettings and the environment; 1 before GTK is set up.
double desktopTextScale();

}  // namespace toolkit
