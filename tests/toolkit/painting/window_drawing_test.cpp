// Windows drawn by the Cairo + Pango painter through the hosts: the headless host's screenshots,
// the desktop host's paint hook on a context of any device scale, the enlarged images from a
// scale of 2 on, and texts measured for layout with the fonts and the scale they are drawn with.
#include <cairo.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/png_fixture.h"
#include "tests/support/temp_folder.h"
#include "tests/toolkit/window/window_test_support.h"
#include "toolkit/painting/linux/cairo_paint.h"
#include "toolkit/painting/window_painting.h"

namespace toolkit::testing {
namespace {

constexpr uint32_t kRed = 0xFFFF0000u;
constexpr uint32_t kBlue = 0xFF0000FFu;

// Font 2 is the layout's (30) and the window's (10): the layout's wins. Font 5 only the window's.
constexpr const wchar_t* kLayout = LR"(<Window size="200,120">
  <Font id="2" name="Sans" size="30"/>
  <VerticalLayout bkcolor="#FFFFFFFF">
    <Control name="logo" height="20" bkimage="logo.png"/>
    <HorizontalLayout height="50">
      <Label name="big" text="MMMM" font="2" autocalcwidth="true"/>
      <Label name="small" text="MMMM" font="5" autocalcwidth="true"/>
      <Control/>
    </HorizontalLayout>
    <Control/>
  </VerticalLayout>
</Window>)";

class WindowDrawingTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    desktop.addLayout(L"drawn.xml", kLayout);
    images[L"logo.png"] = testsupport::solidPng(10, 10, kRed);
    images[L"Enalarge/logo.png"] = testsupport::solidPng(20, 20, kBlue);
    useWindowPainting([this](const std::wstring& name) {
      auto found = images.find(name);
      return found == images.end() ? std::vector<uint8_t>{} : found->second;
    });
    window.onInit = [](WindowImplBase& w) {
      w.addFont(FontDescription{2, L"Sans", 10});
      w.addFont(FontDescription{5, L"Sans", 10});
    };
  }
  void TearDown() override {
    setWindowDrawingMaker(nullptr);
    setHeadlessRenderer(nullptr);
    WindowTest::TearDown();
  }

  std::map<std::wstring, std::vector<uint8_t>> images;
  RecordingWindow window{L"drawn.xml"};
};

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
    cairo_surface_t* shot = cairo_image_surface_create_from_png(png.c_str());
    ASSERT_EQ(cairo_surface_status(shot), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_width(shot), 200 * c.scale);
    EXPECT_EQ(cairo_image_surface_get_height(shot), 120 * c.scale);
    const auto* data = cairo_image_surface_get_data(shot);
    const int stride = cairo_image_surface_get_stride(shot);
    auto pixel = [&](int x, int y) { return *reinterpret_cast<const uint32_t*>(data + y * stride + x * 4); };
    EXPECT_EQ(pixel(5 * c.scale, 5 * c.scale), c.logo) << c.scale;
    EXPECT_EQ(pixel(150 * c.scale, 100 * c.scale), 0xFFFFFFFFu) << c.scale;
    cairo_surface_destroy(shot);
  }
}

TEST_F(WindowDrawingTest, ThePaintHookDrawsAtTheSurfacesDeviceScaleAndOnlyTheDirtyArea) {
  for (int scale : {1, 2}) {
    desktop.scaleFactor = scale;
    RecordingWindow w(L"drawn.xml");
    ASSERT_TRUE(w.create(nullptr));
    // A window's surface as GTK hands it: device pixels, the device scale set, layout user space.
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 200 * scale, 120 * scale);
    cairo_surface_set_device_scale(surface, scale, scale);
    cairo_t* cr = cairo_create(surface);
    paintWindow(cr, w, Rect{0, 0, 100, 120});
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    const auto* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    auto pixel = [&](int x, int y) { return *reinterpret_cast<const uint32_t*>(data + y * stride + x * 4); };
    EXPECT_EQ(pixel(5 * scale, 5 * scale), scale == 2 ? kBlue : kRed) << scale;
    EXPECT_EQ(pixel(5 * scale, 19 * scale + scale - 1), scale == 2 ? kBlue : kRed) << "fills its 20 rows";
    EXPECT_EQ(pixel(5 * scale, 20 * scale), 0xFFFFFFFFu) << scale;
    EXPECT_EQ(pixel(150 * scale, 5 * scale), 0u) << "outside the dirty area nothing is drawn";
    cairo_surface_destroy(surface);
  }
}

}  // namespace
}  // namespace toolkit::testing
