// The Win32 desktop window host: one layered popup window per toolkit window, whose whole
// client area the toolkit paints through a GDI paint hook, with pointer, keyboard and
// input-method input, the clipboard, drop lists, tool tips, timers, per-monitor DPI, the folder
// chooser and the broken-layout box.
#pragma once

#include <functional>
#include <memory>

#include "toolkit/core/window_host.h"
#include "toolkit/core/window_impl_base.h"

struct HDC__;  // HDC, known to the painter only

namespace toolkit {

// Paints |window| into |dc|: a memory DC with a 32-bit top-down DIB section selected
// (premultiplied 0xAARRGGBB) of the client size times the window's scaleFactor() in device
// pixels. |dirty| (layout pixels) is the area to paint: the host clears it to transparent and
// clips the DC to it before the call; the rest keeps what was painted before. The host then
// shows the whole bitmap with UpdateLayeredWindow (per-pixel alpha). Called after the window is
// laid out.
using GdiPaintHook = std::function<void(HDC__* dc, WindowImplBase& window, const Rect& dirty)>;

// The desktop host, the process's host factory while it lives; null when no window can be made
// (no desktop: under Wine, no X server). Without a painter the windows are filled white. |measurer| is for windows without
// a drawing (see WindowHostFactory::measurer); |files| as in WindowHostFactory::layoutFiles.
std::unique_ptr<WindowHostFactory> createDesktopHost(const TextMeasurer& measurer,
                                                     GdiPaintHook painter,
                                                     LayoutFileReader files = {});

// The session ends (logging off, shutting down: WM_ENDSESSION). The system may end the process as
// soon as the window procedure returns, so |end| runs the program's orderly end right there (what
// follows the main loop) and does not return. Without one the host ends the main loop
// (utility::MainLoop::quit), as a termination signal does on Linux. Main thread.
void setSessionEndHandler(std::function<void()> end);

}  // namespace toolkit
