// The windows' drawing, the same on every platform: each window gets an OffscreenRenderer over its
// own fonts; the platform files add only the desktop host's paint hook.
#include "toolkit/painting/window_painting.h"

#include <memory>
#include <utility>

namespace toolkit {
namespace {

class PaintedWindowDrawing : public WindowDrawing {
 public:
  PaintedWindowDrawing(const FontTable& fonts, ImageFileReader files) : renderer(fonts, std::move(files)) {}
  const TextMeasurer& measurer(double scale) override { return renderer.measurer(scale); }

  OffscreenRenderer renderer;
};

}  // namespace

void useWindowDrawing(ImageFileReader files) {
  setWindowDrawingMaker([files](WindowImplBase& window) -> std::unique_ptr<WindowDrawing> {
    return std::make_unique<PaintedWindowDrawing>(window.fonts(), files);
  });
}

OffscreenRenderer* rendererOf(WindowImplBase& window) {
  auto* drawing = dynamic_cast<PaintedWindowDrawing*>(window.drawing());
  return drawing != nullptr ? &drawing->renderer : nullptr;
}

OffscreenImage renderWindow(WindowImplBase& window) {
  OffscreenRenderer* renderer = rendererOf(window);
  if (renderer == nullptr || window.root() == nullptr) return {};
  return renderer->paint(*window.root(), window.clientSize(), window.scaleFactor());
}

}  // namespace toolkit
