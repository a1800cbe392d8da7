// The Cairo entry points of the painter: painting a renderer's tree, or a whole window, onto a
// Cairo context a host hands over (the GTK host's draw call, a test's surface).
#pragma once

#include "toolkit/core/window_impl_base.h"
#include "toolkit/painting/offscreen_renderer.h"

struct _cairo;  // cairo_t

namespace toolkit {

// Paints |root| as it is arranged onto |context| (a cairo_t whose user space is in device pixels:
// a window's surface with its device scale taken out) with |renderer|'s fonts and images, |scale|
// device pixels per layout pixel. What lies outside |dirty| (layout pixels) is not drawn.
void paintOn(OffscreenRenderer& renderer, _cairo* context, Control& root, double scale,
             const Rect& dirty);

// The desktop host's paint hook (a CairoPaintHook): paints |window| onto |context|, whose
// surface's device scale is the screen's; only |dirty| (layout pixels) is drawn. A window
// without a drawing made by useWindowDrawing is filled white.
void paintWindow(_cairo* context, WindowImplBase& window, const Rect& dirty);

}  // namespace toolkit
