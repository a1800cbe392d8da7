// Image files through the Windows Imaging Component: PNG and JPEG decoded into premultiplied
// 0xAARRGGBB words, and premultiplied pixels encoded as PNG. COM is joined on the calling thread
// where it is not yet (and left joined: the thread keeps using it).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace toolkit::wic {

struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // 0xAARRGGBB premultiplied, rows top to bottom
};

// The first frame of a PNG or JPEG file (any format WIC reads); nullopt when it cannot be decoded,
// a truncated file included.
std::optional<Image> decode(const std::vector<uint8_t>& bytes);

// Writes |pixels| (|width| x |height| premultiplied 0xAARRGGBB words) as a PNG file at |path|
// (UTF-8); false when it cannot be written.
bool writePng(const uint32_t* pixels, int width, int height, const std::string& path);

}  // namespace toolkit::wic
