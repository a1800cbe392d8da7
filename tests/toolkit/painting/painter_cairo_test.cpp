// The Cairo + Pango painter's own side: Pango never complains about a text, the installer's face
// resolves to a CJK family, and a host's context keeps its own transformation. What every painter
// must draw is checked in painter_test.cpp.
#include <cairo.h>
#include <glib.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/toolkit/painting/painter_test_support.h"
#include "toolkit/painting/linux/image_cache_cairo.h"
#include "toolkit/painting/linux/painter_cairo.h"

namespace toolkit::painting_tests {
namespace {

TEST_F(PainterTextTest, HostileTextsDrawWithoutComplaint) {
  // Texts from outside may carry anything: Pango is never given invalid text. (What they look
  // like is checked for every painter in painter_test.cpp.)
  int complaints = 0;
  const guint handler = g_log_set_handler(
      "Pango", static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL),
      [](const gchar*, GLogLevelFlags, const gchar*, gpointer count) { ++*static_cast<int*>(count); },
      &complaints);
  const std::wstring texts[] = {
      std::wstring(L"nul\0inside", 11),
      std::wstring(L"<c #ff0000>a\0b</c>", 19),
      std::wstring(1, static_cast<wchar_t>(0xD800)) + L"lone surrogate",
      std::wstring(1, static_cast<wchar_t>(0x110000)) + L"beyond Unicode",
      std::wstring(100000, L'W'),
      std::wstring(1000000, L'\u0301'),
  };
  for (const std::wstring& text : texts) {
    renderLabel(text);
    measure(text);
  }
  g_log_remove_handler("Pango", handler);
  EXPECT_EQ(complaints, 0);
}

TEST_F(PainterTextTest, TheInstallerFaceHasChineseGlyphs) {
  ImageCache images;
  CairoPainter painter(nullptr, 1.0, renderer_.fonts(), images);
  EXPECT_TRUE(painter.fontCovers(0, U'\u4E2D')) << painter.resolvedFamily(0);
  EXPECT_TRUE(painter.fontCovers(-1, U'\u6587')) << "the default font is the same face";
  EXPECT_FALSE(painter.resolvedFamily(0).empty());
}

TEST_F(PainterTest, PainterDrawsInTheContextsOwnCoordinates) {
  // A host may hand over a context already moved (a widget inside a window): everything lands
  // moved with it, clips included.
  files_.files[L"icon.png"] = solidPng(4, 4, kBlue);
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 40, 20);
  cairo_t* cr = cairo_create(surface);
  cairo_translate(cr, 10, 5);
  VerticalLayout box;
  setAll(box, {{L"bkcolor", L"#FFFFFF"}});
  auto& icon = box.add(std::make_unique<Control>());
  setAll(icon, {{L"bkimage", L"icon.png"}, {L"height", L"4"}});
  auto& spill = box.add(std::make_unique<Control>());
  setAll(spill, {{L"float", L"true"}, {L"pos", L"0,0,30,30"}, {L"bkcolor", L"#FF0000"}});
  {
    ImageCache images(files_.reader());
    CairoPainter painter(cr, 1.0, renderer_.fonts(), images);
    box.arrange(Rect{0, 0, 10, 10}, painter);
    box.paint(painter);
  }
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  auto pixel = [&](int x, int y) {
    return reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(surface) +
                                             y * cairo_image_surface_get_stride(surface))[x];
  };
  EXPECT_EQ(pixel(9, 4), 0u) << "nothing outside the moved box";
  EXPECT_EQ(pixel(10, 5), kRed) << "the float over the image";
  EXPECT_EQ(pixel(19, 14), kRed);
  EXPECT_EQ(pixel(20, 15), 0u) << "the float is clipped to the box";
  cairo_surface_destroy(surface);
}

}  // namespace
}  // namespace toolkit::painting_tests
