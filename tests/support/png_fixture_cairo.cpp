#include <cairo.h>

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

}  // namespace testsupport
