// Windows drawn by the Cairo + Pango painter. useCairoDrawing gives every window created after it
// a drawing of its own: an OffscreenRenderer over the window's FontTable and an image cache, whose
// measurer is the window's text measurer at the window's scale. The headless host's screenshots
// and the desktop host's paint hook (paintWindow) draw through it, at the host's scale factor, so
// the enlarged image variants are used from a scale of 2 on.
#pragma once

#include "toolkit/cairo/offscreen_renderer.h"
#include "toolkit/core/window_impl_base.h"

namespace toolkit {

// Installs the window drawing maker and the headless host's screenshot renderer. |files| empty:
// images are read through the skin (the folder beside the executable, then the archive).
void useCairoDrawing(ImageFileReader files = {});

// The desktop host's paint hook (a CairoPaintHook): paints |window| onto |context|, whose
// surface's device scale is the screen's; only |dirty| (layout pixels) is drawn. A window
// without a Cairo drawing is filled white.
void paintWindow(_cairo* context, WindowImplBase& window, const Rect& dirty);

// |window| as it is laid out, at its client size and scale factor; empty without a Cairo drawing.
OffscreenImage renderWindow(WindowImplBase& window);

// The renderer of |window|; null when its drawing is not the Cairo one.
OffscreenRenderer* rendererOf(WindowImplBase& window);

}  // namespace toolkit
