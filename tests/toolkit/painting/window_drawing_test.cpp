// Windows drawn by the platform's painter through the hosts: the headless host's screenshots,
// the enlarged images from a scale of 2 on, and texts measured for layout with the fonts and the
// scale they are drawn with. The desktop hosts' paint hooks: window_drawing_test_<platform>.cpp.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/png_fixture.h"
#include "tests/support/temp_folder.h"
#include "tests/toolkit/painting/window_drawing_test_support.h"

namespace toolkit::testing {
namespace {

TEST_F(WindowDrawingTest, LayoutMeasuresWithTheWindowsFontsAsThePainterDrawsThem) {
  for (int scale : {1, 2}) {
    desktop.scaleFactor = scale;
    RecordingWindow w(L"drawn.xml");
    w.onInit = window.onInit;
    ASSERT_TRUE(w.create(nullptr));
    OffscreenRenderer* renderer = rendererOf(w);
    ASSERT_NE(renderer, nullptr);
    const Rect big = w.findControl(L"big")->rect();
    const Rect small = w.findControl(L"small")->rect();
    EXPECT_EQ(big.width(), renderer->measurer(scale).measure(L"MMMM", 2, 0).width) << scale;
    EXPECT_EQ(small.width(), renderer->measurer(scale).measure(L"MMMM", 5, 0).width) << scale;
    // The layout's size 30 for font 2 over the window's 10; 5 is the window's 10.
    EXPECT_GT(big.width(), 2 * small.width()) << scale;
    EXPECT_GT(small.width(), 0) << scale;
  }
}

TEST_F(WindowDrawingTest, ScreenshotsAreTheWindowAtTheHostsScaleWithTheEnlargedImages) {
  testsupport::TempFolder folder("window-drawing");
  struct Case {
    int scale;
    uint32_t logo;
  } cases[] = {{1, kRed}, {2, kBlue}};
  for (const Case& c : cases) {
    desktop.scaleFactor = c.scale;
    RecordingWindow w(L"drawn.xml");
    ASSERT_TRUE(w.create(nullptr));
    HeadlessWindow* host = desktop.hostOf(w);
    const std::string png = (folder.path() / ("shot" + std::to_string(c.scale) + ".png")).string();
    ASSERT_TRUE(host->screenshot(png));
    const testsupport::PngPixels shot = testsupport::readPng(png);
    EXPECT_EQ(shot.width, 200 * c.scale);
    EXPECT_EQ(shot.height, 120 * c.scale);
    EXPECT_EQ(shot.pixel(5 * c.scale, 5 * c.scale), c.logo) << c.scale;
    EXPECT_EQ(shot.pixel(150 * c.scale, 100 * c.scale), 0xFFFFFFFFu) << c.scale;
  }
}

}  // namespace
}  // namespace toolkit::testing
