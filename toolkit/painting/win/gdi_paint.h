// The GDI entry points of the painter: painting a renderer's tree, or a whole window, into a
// memory DC a host hands over (the Win32 host's frame, a test's bitmap).
#pragma once

#include "toolkit/core/window_impl_base.h"
#include "toolkit/painting/offscreen_renderer.h"

struct HDC__;  // HDC

namespace toolkit {

// Paints |root| as it is arranged into |dc| with |renderer|'s fonts and images, |scale| device
// pixels per layout pixel. |dc| is a memory DC with a 32-bit DIB section selected (pixels
// 0xAARRGGBB premultiplied); what lies outside |dirty| (layout pixels) is not drawn.
void paintOn(OffscreenRenderer& renderer, HDC__* dc, Control& root, double scale,
             const Rect& dirty);

// The Win32 host's paint hook. |dc| is a memory DC with a selected 32-bit top-down premultiplied
// DIB section of the client size times the window's scaleFactor() device pixels, cleared to
// transparent by the host; only |dirty| (layout pixels) is drawn, in device pixels. A window
// without a drawing made by useWindowPainting is filled white.
void paintWindow(HDC__* dc, WindowImplBase& window, const Rect& dirty);

}  // namespace toolkit
