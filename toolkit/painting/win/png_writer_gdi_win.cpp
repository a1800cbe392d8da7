// The PNG writer of screenshots and pixel tests, in a file of its own: the installer never writes one.
#include "toolkit/painting/offscreen_renderer.h"
#include "toolkit/painting/win/wic_codec_win.h"

namespace toolkit {

bool writePng(const OffscreenImage& image, const std::string& path) {
  if (image.empty()) return false;
  return wic::writePng(image.pixels.data(), image.width, image.height, path);
}

}  // namespace toolkit
