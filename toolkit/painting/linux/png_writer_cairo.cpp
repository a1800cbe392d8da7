// The PNG writer of screenshots and pixel tests, in a file of its own: the installer never writes one.
#include "toolkit/painting/offscreen_renderer.h"

#include <cairo.h>

#include <cstring>
#include <vector>

namespace toolkit {

bool writePng(const OffscreenImage& image, const std::string& path) {
  if (image.empty()) return false;
  const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, image.width);
  std::vector<unsigned char> data(static_cast<size_t>(stride) * static_cast<size_t>(image.height));
  for (int y = 0; y < image.height; ++y) {
    std::memcpy(data.data() + static_cast<ptrdiff_t>(y) * stride,
                &image.pixels[static_cast<size_t>(y) * static_cast<size_t>(image.width)],
                static_cast<size_t>(image.width) * sizeof(uint32_t));
  }
  cairo_surface_t* surface = cairo_image_surface_create_for_data(
      data.data(), CAIRO_FORMAT_ARGB32, image.width, image.height, stride);
  const bool ok = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  return ok;
}

}  // namespace toolkit
