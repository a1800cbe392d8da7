#include <windows.h>

#include <cmath>
#include <cstring>

#include "toolkit/painting/offscreen_renderer.h"
#include "toolkit/painting/win/gdi_objects_win.h"
#include "toolkit/painting/win/gdi_paint.h"
#include "toolkit/painting/win/image_cache_win.h"
#include "toolkit/painting/win/painter_gdi_win.h"
#include "toolkit/painting/win/wic_codec_win.h"

namespace toolkit {

struct OffscreenRenderer::Images {
  explicit Images(ImageFileReader files) : cache(std::move(files)) {}
  ImageCache cache;
  // Made on first use and rebuilt when the fonts or the scale change.
  std::unique_ptr<GdiPainter> measurer;
  unsigned measurerFonts = 0;
  double measurerScale = 1.0;
};

struct RendererInternals {
  static void paintOn(OffscreenRenderer& renderer, HDC dc, Control& root, double scale,
                      const Rect& dirty) {
    GdiPainter painter(dc, scale, renderer.activeFonts(), renderer.images_->cache);
    ClipScope clip(painter, dirty);
    root.paint(painter);
  }
  static void paint(OffscreenRenderer& renderer, HDC dc, Control& root, double scale) {
    GdiPainter painter(dc, scale, renderer.activeFonts(), renderer.images_->cache);
    root.paint(painter);
  }
};

OffscreenRenderer::OffscreenRenderer(ImageFileReader files)
    : images_(std::make_unique<Images>(std::move(files))) {}

OffscreenRenderer::OffscreenRenderer(const FontTable& fonts, ImageFileReader files)
    : external_(&fonts), images_(std::make_unique<Images>(std::move(files))) {}

OffscreenRenderer::~OffscreenRenderer() = default;

int OffscreenRenderer::imageDecodeCount() const { return images_->cache.decodeCount(); }

const TextMeasurer& OffscreenRenderer::measurer(double scale) {
  // Text is measured hinted as it will be drawn: at the scale of the frame.
  const FontTable& fonts = activeFonts();
  if (!images_->measurer || images_->measurerFonts != fonts.generation() ||
      images_->measurerScale != scale) {
    images_->measurer = std::make_unique<GdiPainter>(nullptr, scale, fonts, images_->cache);
    images_->measurerFonts = fonts.generation();
    images_->measurerScale = scale;
  }
  return *images_->measurer;
}

OffscreenImage OffscreenRenderer::render(Control& root, Size size, double scale) {
  if (size.width <= 0 || size.height <= 0 || !(scale > 0)) return {};
  root.arrange(Rect{0, 0, size.width, size.height}, measurer(scale));
  return paint(root, size, scale);
}

OffscreenImage OffscreenRenderer::paint(Control& root, Size size, double scale) {
  if (size.width <= 0 || size.height <= 0 || !(scale > 0)) return {};
  OffscreenImage image;
  image.width = static_cast<int>(std::ceil(size.width * scale));
  image.height = static_cast<int>(std::ceil(size.height * scale));
  gdi::Pixels pixels;
  gdi::Object<HBITMAP> bitmap(gdi::createDib(image.width, image.height, &pixels));
  gdi::MemoryDc dc;
  if (!bitmap || dc.get() == nullptr) return {};
  {
    gdi::Selection selected(dc.get(), bitmap.get());
    RendererInternals::paint(*this, dc.get(), root, scale);
    GdiFlush();
  }
  // The DIB's rows are exactly the image's: top-down words without padding.
  image.pixels.resize(static_cast<size_t>(image.width) * static_cast<size_t>(image.height));
  std::memcpy(image.pixels.data(), pixels.bits, image.pixels.size() * sizeof(uint32_t));
  return image;
}

void paintOn(OffscreenRenderer& renderer, HDC dc, Control& root, double scale, const Rect& dirty) {
  if (dc == nullptr || !(scale > 0) || dirty.width() <= 0 || dirty.height() <= 0) return;
  RendererInternals::paintOn(renderer, dc, root, scale, dirty);
  GdiFlush();
}

}  // namespace toolkit
