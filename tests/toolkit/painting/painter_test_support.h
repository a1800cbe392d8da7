// What the painter tests share: image files made in memory, pixel counts and colour checks, and
// fixtures rendering controls offscreen through the platform's painter.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/png_fixture.h"
#include "toolkit/core/control.h"
#include "toolkit/painting/offscreen_renderer.h"

namespace toolkit::painting_tests {

using testsupport::solidPng;
constexpr uint32_t kWhite = 0xFFFFFFFFu;
constexpr uint32_t kRed = 0xFFFF0000u;
constexpr uint32_t kGreen = 0xFF00FF00u;
constexpr uint32_t kBlue = 0xFF0000FFu;
constexpr uint32_t kGrey = 0xFF808080u;
constexpr uint32_t kMagenta = 0xFFFF00FFu;

// Thirds of the width in red, green, blue: a sprite of three states.
inline std::vector<uint8_t> spritePng(int width, int height) {
  return testsupport::pngOf(width, height, [width](int x, int) {
    return x < width / 3 ? kRed : x < 2 * width / 3 ? kGreen : kBlue;
  });
}

// A distinct colour for every pixel of a |size| image (corner pixels can be told apart).
inline uint32_t patternPixel(int x, int y) {
  return 0xFF000000u | static_cast<uint32_t>((x * 7) & 0xFF) << 16 |
         static_cast<uint32_t>((y * 11) & 0xFF) << 8 | static_cast<uint32_t>((x * y) & 0xFF);
}

// Image files by name, counting the reads.
struct Files {
  std::map<std::wstring, std::vector<uint8_t>> files;
  int reads = 0;
  ImageFileReader reader() {
    return [this](const std::wstring& name) {
      ++reads;
      auto found = files.find(name);
      return found == files.end() ? std::vector<uint8_t>{} : found->second;
    };
  }
};

inline void setAll(Control& control,
            std::initializer_list<std::pair<const wchar_t*, std::wstring>> attributes) {
  for (const auto& [name, value] : attributes) {
    ASSERT_FALSE(control.setAttribute(name, value)) << std::wstring(name) << "=" << value;
  }
}

inline int countPixels(const OffscreenImage& image, const Rect& area,
                const std::function<bool(uint32_t)>& matches) {
  int count = 0;
  for (int y = std::max(0, area.top); y < std::min(image.height, area.bottom); ++y) {
    for (int x = std::max(0, area.left); x < std::min(image.width, area.right); ++x) {
      count += matches(image.pixel(x, y)) ? 1 : 0;
    }
  }
  return count;
}

inline Rect whole(const OffscreenImage& image) { return Rect{0, 0, image.width, image.height}; }

inline bool near(uint32_t pixel, uint32_t color, int tolerance) {
  for (int shift = 0; shift < 32; shift += 8) {
    const int a = static_cast<int>((pixel >> shift) & 0xFF);
    const int b = static_cast<int>((color >> shift) & 0xFF);
    if (std::abs(a - b) > tolerance) return false;
  }
  return true;
}

// Dark enough to be ink of black text on white.
inline bool dark(uint32_t pixel) {
  return (pixel >> 24) == 0xFF && ((pixel >> 16) & 0xFF) < 100 && ((pixel >> 8) & 0xFF) < 100 &&
         (pixel & 0xFF) < 100;
}

class PainterTest : public ::testing::Test {
 protected:
  OffscreenImage render(Control& root, Size size, double scale = 1.0) {
    return renderer_.render(root, size, scale);
  }
  // A white control of |size| with |image| as its background image.
  OffscreenImage renderImage(const std::wstring& image, Size size, double scale = 1.0) {
    Control control;
    control.setBkColor(kWhite);
    EXPECT_FALSE(control.setAttribute(L"bkimage", image));
    return render(control, size, scale);
  }

  Files files_;
  OffscreenRenderer renderer_{files_.reader()};
};

// Labels in the installer's face, size 24 (font 0) and 12 (font 1).
class PainterTextTest : public PainterTest {
 protected:
  void SetUp() override {
    renderer_.fonts().setLayoutFonts({FontDescription{0, L"\u5FAE\u8F6F\u96C5\u9ED1", 24, false, false, false, true},
                                      FontDescription{1, L"\u5FAE\u8F6F\u96C5\u9ED1", 12, false, false, false, false}});
  }
  OffscreenImage renderLabel(const std::wstring& text, Size size = {300, 40}) {
    Label label;
    setAll(label, {{L"bkcolor", L"#FFFFFF"}, {L"textcolor", L"#000000"}, {L"showhtml", L"true"},
                   {L"font", L"0"}});
    label.setText(text);
    return render(label, size);
  }
  Size measure(const std::wstring& text, int font = 0, int maxWidth = 0) {
    return renderer_.measurer().measure(text, font, maxWidth);
  }
};

}  // namespace toolkit::painting_tests
