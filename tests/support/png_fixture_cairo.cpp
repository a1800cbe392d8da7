#include <cairo.h>
#include <gdk-pixbuf/gdk-pixbuf.h>

#include "tests/support/png_fixture.h"

namespace testsupport {

std::vector<uint8_t> pngOf(int width, int height, const std::function<uint32_t(int x, int y)>& pixel) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_surface_flush(surface);
  unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
    for (int x = 0; x < width; ++x) row[x] = pixel(x, y);
  }
  cairo_surface_mark_dirty(surface);
  std::vector<uint8_t> bytes;
  cairo_surface_write_to_png_stream(
      surface,
      [](void* closure, const unsigned char* chunk, unsigned int length) {
        auto* out = static_cast<std::vector<uint8_t>*>(closure);
        out->insert(out->end(), chunk, chunk + length);
        return CAIRO_STATUS_SUCCESS;
      },
      &bytes);
  cairo_surface_destroy(surface);
  return bytes;
}

std::vector<uint8_t> solidPng(int width, int height, uint32_t argb) {
  const uint32_t alpha = argb >> 24;
  auto premultiply = [alpha](uint32_t channel) { return (channel * alpha + 127) / 255; };
  const uint32_t pixel = (alpha << 24) | (premultiply((argb >> 16) & 0xFF) << 16) |
                         (premultiply((argb >> 8) & 0xFF) << 8) | premultiply(argb & 0xFF);
  return pngOf(width, height, [pixel](int, int) { return pixel; });
}

std::vector<uint8_t> solidJpeg(int width, int height, uint32_t rgb) {
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height);
  gdk_pixbuf_fill(pixbuf, (rgb << 8) | 0xFFu);
  gchar* buffer = nullptr;
  gsize size = 0;
  std::vector<uint8_t> bytes;
  if (gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, "jpeg", nullptr, "quality", "100", nullptr)) {
    bytes.assign(buffer, buffer + size);
  }
  g_free(buffer);
  g_object_unref(pixbuf);
  return bytes;
}

PngPixels readPng(const std::string& path) {
  PngPixels result;
  cairo_surface_t* surface = cairo_image_surface_create_from_png(path.c_str());
  if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
    cairo_surface_flush(surface);
    const cairo_format_t format = cairo_image_surface_get_format(surface);
    result.width = cairo_image_surface_get_width(surface);
    result.height = cairo_image_surface_get_height(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < result.height; ++y) {
      const auto* row = reinterpret_cast<const uint32_t*>(data + y * stride);
      for (int x = 0; x < result.width; ++x) {
        result.pixels.push_back(format == CAIRO_FORMAT_ARGB32 ? row[x] : (row[x] | 0xFF000000u));
      }
    }
  }
  cairo_surface_destroy(surface);
  return result;
}

}  // namespace testsupport
