#include <windows.h>
#include <algorithm>

#include "toolkit/painting/win/gdi_objects_win.h"
#include "toolkit/painting/win/gdi_paint.h"
#include "toolkit/painting/window_painting.h"

namespace toolkit {

void paintWindow(HDC dc, WindowImplBase& window, const Rect& dirty) {
  if (dc == nullptr) return;
  OffscreenRenderer* renderer = rendererOf(window);
  if (renderer == nullptr || window.root() == nullptr) {
    // GDI's own fills leave alpha at 0, which a layered window shows as nothing.
    GdiFlush();
    const gdi::Pixels pixels = gdi::selectedPixels(dc);
    for (int y = 0; y < pixels.height && pixels.valid(); ++y) {
      std::fill_n(pixels.row(y), pixels.width, 0xFFFFFFFFu);
    }
    return;
  }
  paintOn(*renderer, dc, *window.root(), window.scaleFactor(), dirty);
}

}  // namespace toolkit
