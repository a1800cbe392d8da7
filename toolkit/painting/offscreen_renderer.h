// Lays out a control tree and paints it into an image in memory: for the headless host, tests
// and screenshots. The image is the same painter's work a window shows, at any scale.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/core/attribute_value.h"
#include "toolkit/core/control.h"
#include "toolkit/core/font_table.h"
#include "toolkit/core/painter.h"

namespace toolkit {

// Pixels 0xAARRGGBB, alpha premultiplied, rows top to bottom without padding.
struct OffscreenImage {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
  bool empty() const { return pixels.empty(); }
  // 0 outside the image.
  uint32_t pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return 0;
    return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
  }
};

// One per window: keeps the window's fonts and its decoded images from one frame to the next.
class OffscreenRenderer {
 public:
  // |files| empty: images are read through the skin. The renderer draws with fonts() of its own.
  explicit OffscreenRenderer(ImageFileReader files = {});
  // Draws with |fonts| (a window's table, which outlives the renderer) instead of its own.
  explicit OffscreenRenderer(const FontTable& fonts, ImageFileReader files = {});
  ~OffscreenRenderer();
  OffscreenRenderer(const OffscreenRenderer&) = delete;
  OffscreenRenderer& operator=(const OffscreenRenderer&) = delete;

  // The renderer's own fonts: the layout's and the shared ones (see FontTable for which wins).
  // Not used by a renderer made with a window's table.
  FontTable& fonts() { return fonts_; }

  // Arranges |root| in (0, 0, size) (layout pixels) and paints it on a transparent image of
  // size × scale device pixels (rounded up). An empty size gives an empty image.
  OffscreenImage render(Control& root, Size size, double scale = 1.0);
  // Paints |root| as it is arranged, without a layout pass.
  OffscreenImage paint(Control& root, Size size, double scale = 1.0);

  // The text measurer of this renderer's fonts at |scale| (for a layout pass of the caller's
  // own); valid until the next call with another scale.
  const TextMeasurer& measurer(double scale = 1.0);

  // How many image files were decoded so far (each at most once).
  int imageDecodeCount() const;

 private:
  // What the platform's painter keeps between frames; its paint hooks reach it through
  // RendererInternals (declared in the platform folder).
  struct Images;
  friend struct RendererInternals;
  const FontTable& activeFonts() const { return external_ != nullptr ? *external_ : fonts_; }

  FontTable fonts_;
  const FontTable* external_ = nullptr;
  std::unique_ptr<Images> images_;
};

// Writes |image| as a PNG file at |path| (UTF-8); false when it cannot be written.
bool writePng(const OffscreenImage& image, const std::string& path);

}  // namespace toolkit
