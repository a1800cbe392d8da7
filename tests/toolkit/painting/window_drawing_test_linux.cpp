// The GTK host's paint hook: a Cairo context of any device scale, only the dirty area drawn.
#include <cairo.h>
#include <gtest/gtest.h>

#include "tests/toolkit/painting/window_drawing_test_support.h"
#include "toolkit/painting/linux/cairo_paint.h"

namespace toolkit::testing {
namespace {

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
