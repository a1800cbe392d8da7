// The GTK 3 desktop window host: real top-level windows whose whole client area the
// toolkit paints through a Cairo painter, with pointer, keyboard and input-method input, the
// clipboard, drop lists, tool tips, timers and the broken-layout box.
#pragma once

#include <functional>
#include <memory>

#include "toolkit/core/window_host.h"
#include "toolkit/core/window_impl_base.h"

struct _cairo;  // cairo_t, known to the painter only

namespace toolkit {

// Paints |window| into |context| (a cairo_t in client coordinates, its surface's device scale the
// screen's); |dirty| is the area that needs it. Called by the host on every redraw, after the
// window is laid out. The Cairo + Pango painter's hook is toolkit::paintWindow
// (toolkit/painting/linux/cairo_paint.h).
using CairoPaintHook = std::function<void(_cairo* context, WindowImplBase& window, const Rect& dirty)>;

// The desktop host, the process's host factory while it lives; null when there is no display.
// Without a painter the windows are filled white. |measurer| is for windows without a drawing
// (see WindowHostFactory::measurer); |files| as in WindowHostFactory::layoutFiles.
std::unique_ptr<WindowHostFactory> createDesktopHost(const TextMeasurer& measurer,
                                                     CairoPaintHook painter,
                                                     LayoutFileReader files = {});

}  // namespace toolkit
