// Small PNG files made in memory, for image fixtures of drawing tests, benchmarks and fuzz
// targets (no image files kept in the tree for them).
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace testsupport {

// A PNG of |width| x |height| whose pixels |pixel| gives as premultiplied 0xAARRGGBB.
std::vector<uint8_t> pngOf(int width, int height, const std::function<uint32_t(int x, int y)>& pixel);

// A PNG of one colour, 0xAARRGGBB (not premultiplied).
std::vector<uint8_t> solidPng(int width, int height, uint32_t argb);

}  // namespace testsupport
