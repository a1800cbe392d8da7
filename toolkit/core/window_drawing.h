// What draws one window and measures its texts: made for each window by the painter library the
// program links (setWindowDrawingMaker), with the window's own FontTable, so that the layout pass
// and the painting see the same fonts at the same scale. Without a maker, texts are measured by
// the host factory's measurer (tests) and the hosts draw nothing of their own.
#pragma once

#include <functional>
#include <memory>

#include "toolkit/core/text_measurer.h"

namespace toolkit {

class WindowImplBase;

class WindowDrawing {
 public:
  virtual ~WindowDrawing() = default;
  // Texts measured with the window's fonts as they are drawn at |scale| device pixels per
  // layout pixel (hinting changes widths between scales).
  virtual const TextMeasurer& measurer(double scale) = 0;
};

// Makes the drawing of a window as it is created (its layout and fonts are loaded then).
using WindowDrawingMaker = std::function<std::unique_ptr<WindowDrawing>(WindowImplBase& window)>;
// For windows created from now on; empty: none. Main thread.
void setWindowDrawingMaker(WindowDrawingMaker maker);

}  // namespace toolkit
