// Small PNG files made in memory, for image fixtures of drawing tests, benchmarks and fuzz
// targets (no image files kept in the tree for them).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

// A PNG of |width| x |height| whose pixels |pixel| gives as premultiplied 0xAARRGGBB.
std::vector<uint8_t> pngOf(int width, int height, const std::function<uint32_t(int x, int y)>& pixel);

// A PNG of one colour, 0xAARRGGBB (not premultiplied).
std::vector<uint8_t> solidPng(int width, int height, uint32_t argb);

// A JPEG of one opaque colour, 0xRRGGBB, at the encoder's best quality.
std::vector<uint8_t> solidJpeg(int width, int height, uint32_t rgb);

// The pixels of a PNG file as premultiplied 0xAARRGGBB rows, top to bottom; empty when the file
// cannot be read.
struct PngPixels {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
  bool empty() const { return pixels.empty(); }
  uint32_t pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return 0;
    return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
  }
};
PngPixels readPng(const std::string& path);

}  // namespace testsupport
