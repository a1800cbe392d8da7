// Windows drawn by the platform's painter. useWindowDrawing gives every window created after it
// a drawing of its own: an OffscreenRenderer over the window's FontTable and its decoded images,
// whose measurer is the window's text measurer at the window's scale. The headless host's
// screenshots and the desktop host's paint hook draw through it, at the host's scale factor, so
// the enlarged image variants are used from a scale of 2 on. The paint hook itself takes the
// platform's drawing target and lives in the platform folder.
#pragma once

#include "toolkit/core/window_impl_base.h"
#include "toolkit/painting/offscreen_renderer.h"

namespace toolkit {

// Installs the window drawing maker: what the installer's windows need. |files| empty: images are
// read through the skin (the folder beside the executable, then the archive).
void useWindowDrawing(ImageFileReader files = {});

// useWindowDrawing and the headless host's screenshot renderer (tests, screenshot tools, the
// demo). In a file of its own: a program that never calls it links neither the headless host nor
// the PNG writer.
void useWindowPainting(ImageFileReader files = {});

// |window| as it is laid out, at its client size and scale factor; empty without a drawing made
// by useWindowDrawing.
OffscreenImage renderWindow(WindowImplBase& window);

// The renderer of |window|; null when its drawing was not made by useWindowDrawing.
OffscreenRenderer* rendererOf(WindowImplBase& window);

}  // namespace toolkit
