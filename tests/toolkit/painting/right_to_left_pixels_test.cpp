// Right-to-left windows by their pixels: the progress fill at the right, directional images
// flipped, and texts laid out with a right-to-left base direction.
#include <gtest/gtest.h>

#include <cwchar>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/png_fixture.h"
#include "toolkit/core/control.h"
#include "toolkit/painting/offscreen_renderer.h"

namespace toolkit {
namespace {

constexpr uint32_t kRed = 0xFFFF0000u;
constexpr uint32_t kGreen = 0xFF00FF00u;
constexpr uint32_t kBlue = 0xFF0000FFu;

ImageFileReader files() {
  // Thirds of the width in red, green, blue: which way round it is drawn shows at a glance.
  static const std::vector<uint8_t> stripes = testsupport::pngOf(30, 10, [](int x, int) {
    return x < 10 ? kRed : x < 20 ? kGreen : kBlue;
  });
  return [](const std::wstring& name) { return name == L"stripes.png" ? stripes : std::vector<uint8_t>{}; };
}

OffscreenImage render(Control& control, bool rightToLeft, Size size) {
  control.setRightToLeft(rightToLeft);
  OffscreenRenderer renderer(files());
  return renderer.render(control, size);
}

TEST(RightToLeftPixelsTest, TheProgressFillGrowsFromTheRight) {
  for (const bool rightToLeft : {false, true}) {
    SCOPED_TRACE(rightToLeft);
    Progress bar;
    ASSERT_FALSE(bar.setAttribute(L"forecolor", L"#FFFF0000"));
    bar.setValue(25);
    const OffscreenImage image = render(bar, rightToLeft, Size{100, 10});
    EXPECT_EQ(image.pixel(rightToLeft ? 99 : 0, 5), kRed);
    EXPECT_EQ(image.pixel(rightToLeft ? 76 : 23, 5), kRed);
    EXPECT_EQ(image.pixel(rightToLeft ? 70 : 29, 5), 0u);
    EXPECT_EQ(image.pixel(rightToLeft ? 0 : 99, 5), 0u);
  }
}

TEST(RightToLeftPixelsTest, OnlyImagesMarkedAsDirectionalAreFlippedAndOnlyRightToLeft) {
  const struct {
    const char* what;
    bool rightToLeft;
    const wchar_t* image;
    uint32_t left, right;
  } cases[] = {
      {"plain, left to right", false, L"file='stripes.png'", kRed, kBlue},
      {"plain, right to left: as drawn", true, L"file='stripes.png'", kRed, kBlue},
      {"directional, left to right: as drawn", false, L"file='stripes.png' mirror='true'", kRed, kBlue},
      {"directional, right to left: flipped", true, L"file='stripes.png' mirror='true'", kBlue, kRed},
      {"directional with a dest, right to left: flipped in its reflected place", true,
       L"file='stripes.png' dest='0,0,30,10' mirror='true'", 0u, kRed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Control control;
    ASSERT_FALSE(control.setAttribute(L"bkimage", c.image));
    const OffscreenImage image = render(control, c.rightToLeft, Size{60, 10});
    EXPECT_EQ(image.pixel(2, 5), c.left);
    EXPECT_EQ(image.pixel(57, 5), c.right);
  }
}

// "abc!" in a right-to-left paragraph reads "!abc": the same pixels as "!abc" drawn left to
// right at the same edge, on one line, broken into lines or ending in an ellipsis.
TEST(RightToLeftPixelsTest, TextsTakeTheRightToLeftBaseDirection) {
  for (const wchar_t* fitting : {L"", L"wordbreak", L"endellipsis"}) {
    SCOPED_TRACE(std::string(fitting, fitting + std::wcslen(fitting)));
    auto label = [&](const wchar_t* text, const wchar_t* align) {
      auto made = std::make_unique<Label>();
      made->setText(text);
      EXPECT_FALSE(made->setAttribute(L"align", align));
      if (*fitting != 0) {
        EXPECT_FALSE(made->setAttribute(fitting, L"true"));
      }
      return made;
    };
    const OffscreenImage rtl = render(*label(L"abc!", L"left"), true, Size{120, 24});
    const OffscreenImage ltr = render(*label(L"!abc", L"right"), false, Size{120, 24});
    ASSERT_FALSE(rtl.empty());
    EXPECT_EQ(rtl.pixels, ltr.pixels);
    // And not what a left-to-right "abc!" at that edge looks like.
    EXPECT_NE(render(*label(L"abc!", L"right"), false, Size{120, 24}).pixels, rtl.pixels);
  }
}

// Broken into lines, each line of a right-to-left paragraph reads right to left at the same
// edge: "abc def!" in two lines shows "abc" over "!def".
TEST(RightToLeftPixelsTest, EachBrokenLineReadsRightToLeft) {
  auto broken = [](const wchar_t* text, const wchar_t* align, bool rightToLeft) {
    Label label;
    label.setText(text);
    EXPECT_FALSE(label.setAttribute(L"align", align));
    EXPECT_FALSE(label.setAttribute(L"wordbreak", L"true"));
    return render(label, rightToLeft, Size{34, 48});
  };
  const OffscreenImage rtl = broken(L"abc def!", L"left", true);
  ASSERT_FALSE(rtl.empty());
  EXPECT_EQ(rtl.pixels, broken(L"abc\n!def", L"right", false).pixels);
  EXPECT_NE(rtl.pixels, broken(L"abc\ndef!", L"right", false).pixels);
}

// A coloured run stands over its own characters: a left-to-right word keeps its letters in order
// inside a right-to-left paragraph, and its colour goes with them.
TEST(RightToLeftPixelsTest, ColouredRunsGoWithTheirCharacters) {
  const struct {
    const wchar_t* text;
    bool redAtTheRight;
  } cases[] = {
      {L"abc <c #FF0000>XYZ</c>", true},
      {L"<c #FF0000>abc</c> XYZ", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text, c.text + std::wcslen(c.text)));
    Label label;
    ASSERT_FALSE(label.setAttribute(L"showhtml", L"true"));
    ASSERT_FALSE(label.setAttribute(L"textcolor", L"#FF000000"));
    label.setText(c.text);
    const OffscreenImage image = render(label, true, Size{160, 24});
    double redX = 0, inkX = 0;
    int red = 0, ink = 0;
    for (int y = 0; y < image.height; ++y) {
      for (int x = 0; x < image.width; ++x) {
        const uint32_t p = image.pixel(x, y);
        if ((p >> 24) < 0x80) continue;
        // Premultiplied: a red pixel has red and no green; the rest is black.
        if (((p >> 16) & 0xFF) > 0x60 && ((p >> 8) & 0xFF) < 0x30) {
          redX += x, ++red;
        } else if (((p >> 16) & 0xFF) < 0x30) {
          inkX += x, ++ink;
        }
      }
    }
    ASSERT_GT(red, 5);
    ASSERT_GT(ink, 5);
    EXPECT_EQ(redX / red > inkX / ink, c.redAtTheRight);
  }
}

}  // namespace
}  // namespace toolkit
