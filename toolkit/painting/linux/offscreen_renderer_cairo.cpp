#include "toolkit/painting/offscreen_renderer.h"

#include <cairo.h>

#include <cmath>
#include <cstring>

#include "toolkit/painting/linux/cairo_paint.h"
#include "toolkit/painting/linux/image_cache_cairo.h"
#include "toolkit/painting/linux/painter_cairo.h"

namespace toolkit {

struct OffscreenRenderer::Images {
  explicit Images(ImageFileReader files) : cache(std::move(files)) {}
  ImageCache cache;
  // Made on first use and rebuilt when the fonts change.
  std::unique_ptr<CairoPainter> measurer;
  unsigned measurerFonts = 0;
  double measurerScale = 1.0;
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
    images_->measurer = std::make_unique<CairoPainter>(nullptr, scale, fonts, images_->cache);
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
  // Cairo draws straight into the image's pixels: ARGB32 rows of exactly width words.
  const int stride = image.width * static_cast<int>(sizeof(uint32_t));
  if (cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, image.width) != stride) return {};
  image.pixels.assign(static_cast<size_t>(image.width) * static_cast<size_t>(image.height), 0u);
  cairo_surface_t* surface = cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(image.pixels.data()), CAIRO_FORMAT_ARGB32, image.width,
      image.height, stride);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return {};
  }
  cairo_t* cr = cairo_create(surface);
  {
    CairoPainter painter(cr, scale, activeFonts(), images_->cache);
    root.paint(painter);
  }
  cairo_destroy(cr);
  cairo_surface_finish(surface);
  cairo_surface_destroy(surface);
  return image;
}

struct RendererInternals {
  static void paintOn(OffscreenRenderer& renderer, cairo_t* context, Control& root, double scale,
                      const Rect& dirty) {
    CairoPainter painter(context, scale, renderer.activeFonts(), renderer.images_->cache);
    ClipScope clip(painter, dirty);
    root.paint(painter);
  }
};

void paintOn(OffscreenRenderer& renderer, cairo_t* context, Control& root, double scale,
             const Rect& dirty) {
  if (context == nullptr || !(scale > 0) || dirty.width() <= 0 || dirty.height() <= 0) return;
  RendererInternals::paintOn(renderer, context, root, scale, dirty);
}

}  // namespace toolkit
