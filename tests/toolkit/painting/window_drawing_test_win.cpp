// The Win32 host's paint hook: the host's frame (a memory DC with a top-down 32-bit DIB section
// of the client size times the scale, cleared to transparent) painted in device pixels, only the
// dirty area; a window without a drawing comes out white.
#include <windows.h>

#include <gtest/gtest.h>

#include "tests/toolkit/painting/window_drawing_test_support.h"
#include "toolkit/painting/win/gdi_paint.h"

namespace toolkit::testing {
namespace {

// A frame as the host makes one.
class HostFrame {
 public:
  HostFrame(int width, int height) : width_(width), dc_(CreateCompatibleDC(nullptr)) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
    previous_ = SelectObject(dc_, bitmap_);
  }
  ~HostFrame() {
    SelectObject(dc_, previous_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  HostFrame(const HostFrame&) = delete;
  HostFrame& operator=(const HostFrame&) = delete;

  bool valid() const { return bitmap_ != nullptr && bits_ != nullptr; }
  HDC dc() const { return dc_; }
  uint32_t pixel(int x, int y) const {
    GdiFlush();
    return static_cast<const uint32_t*>(bits_)[y * width_ + x];
  }

 private:
  int width_;
  HDC dc_;
  HBITMAP bitmap_ = nullptr;
  void* bits_ = nullptr;
  HGDIOBJ previous_ = nullptr;
};

TEST_F(WindowDrawingTest, ThePaintHookDrawsInTheHostsFrameAtTheWindowsScaleAndOnlyTheDirtyArea) {
  for (int scale : {1, 2}) {
    desktop.scaleFactor = scale;
    RecordingWindow w(L"drawn.xml");
    ASSERT_TRUE(w.create(nullptr));
    HostFrame frame(200 * scale, 120 * scale);
    ASSERT_TRUE(frame.valid());
    paintWindow(frame.dc(), w, Rect{0, 0, 100, 120});
    EXPECT_EQ(frame.pixel(5 * scale, 5 * scale), scale == 2 ? kBlue : kRed) << scale;
    EXPECT_EQ(frame.pixel(5 * scale, 19 * scale + scale - 1), scale == 2 ? kBlue : kRed)
        << "fills its 20 rows";
    EXPECT_EQ(frame.pixel(5 * scale, 20 * scale), 0xFFFFFFFFu) << scale;
    EXPECT_EQ(frame.pixel(150 * scale, 5 * scale), 0u) << "outside the dirty area nothing is drawn";
    // The label's text, drawn opaque (GDI alone would leave its alpha at 0).
    int ink = 0;
    for (int y = 20 * scale; y < 70 * scale; ++y) {
      for (int x = 0; x < 100 * scale; ++x) {
        const uint32_t p = frame.pixel(x, y);
        ink += (p >> 24) == 0xFF && (p & 0xFFu) < 100;
      }
    }
    EXPECT_GT(ink, 20 * scale * scale) << scale;
  }
}

TEST_F(WindowDrawingTest, AWindowWithoutADrawingIsPaintedWhite) {
  setWindowDrawingMaker(nullptr);
  RecordingWindow w(L"drawn.xml");
  ASSERT_TRUE(w.create(nullptr));
  HostFrame frame(200, 120);
  ASSERT_TRUE(frame.valid());
  paintWindow(frame.dc(), w, Rect{0, 0, 10, 10});
  EXPECT_EQ(frame.pixel(0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(frame.pixel(199, 119), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace toolkit::testing
