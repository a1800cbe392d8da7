// The Cairo + Pango painter checked by its pixels: controls rendered offscreen from image files
// drawn here with Cairo, and texts whose colours and runs are looked for where they belong.
#include <cairo.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/png_fixture.h"
#include "tests/support/temp_folder.h"
#include "toolkit/painting/linux/image_cache_cairo.h"
#include "toolkit/painting/linux/painter_cairo.h"
#include "toolkit/painting/offscreen_renderer.h"
#include "toolkit/core/control.h"

namespace toolkit {
namespace {

constexpr uint32_t kWhite = 0xFFFFFFFFu;
constexpr uint32_t kRed = 0xFFFF0000u;
constexpr uint32_t kGreen = 0xFF00FF00u;
constexpr uint32_t kBlue = 0xFF0000FFu;
constexpr uint32_t kGrey = 0xFF808080u;
constexpr uint32_t kMagenta = 0xFFFF00FFu;

std::vector<uint8_t> solidPng(int width, int height, uint32_t color) {
  return testsupport::pngOf(width, height, [color](int, int) { return color; });
}

// Thirds of the width in red, green, blue: a sprite of three states.
std::vector<uint8_t> spritePng(int width, int height) {
  return testsupport::pngOf(width, height, [width](int x, int) {
    return x < width / 3 ? kRed : x < 2 * width / 3 ? kGreen : kBlue;
  });
}

// A distinct colour for every pixel of a |size| image (corner pixels can be told apart).
uint32_t patternPixel(int x, int y) {
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

void setAll(Control& control,
            std::initializer_list<std::pair<const wchar_t*, std::wstring>> attributes) {
  for (const auto& [name, value] : attributes) {
    ASSERT_FALSE(control.setAttribute(name, value)) << std::wstring(name) << "=" << value;
  }
}

int countPixels(const OffscreenImage& image, const Rect& area,
                const std::function<bool(uint32_t)>& matches) {
  int count = 0;
  for (int y = std::max(0, area.top); y < std::min(image.height, area.bottom); ++y) {
    for (int x = std::max(0, area.left); x < std::min(image.width, area.right); ++x) {
      count += matches(image.pixel(x, y)) ? 1 : 0;
    }
  }
  return count;
}

Rect whole(const OffscreenImage& image) { return Rect{0, 0, image.width, image.height}; }

bool near(uint32_t pixel, uint32_t color, int tolerance) {
  for (int shift = 0; shift < 32; shift += 8) {
    const int a = static_cast<int>((pixel >> shift) & 0xFF);
    const int b = static_cast<int>((color >> shift) & 0xFF);
    if (std::abs(a - b) > tolerance) return false;
  }
  return true;
}

// Dark enough to be ink of black text on white.
bool dark(uint32_t pixel) {
  return (pixel >> 24) == 0xFF && ((pixel >> 16) & 0xFF) < 100 && ((pixel >> 8) & 0xFF) < 100 &&
         (pixel & 0xFF) < 100;
}

class PainterCairoTest : public testing::Test {
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

TEST_F(PainterCairoTest, NineGridCornersKeepTheirPixelsAtAnySize) {
  files_.files[L"frame.png"] = testsupport::pngOf(20, 20, patternPixel);
  files_.files[L"commonEnalarge/frame.png"] = testsupport::pngOf(40, 40, patternPixel);
  files_.files[L"common/frame.png"] = testsupport::pngOf(20, 20, patternPixel);
  struct Case {
    const wchar_t* file;
    Size size;
    double scale;
    int imageSize;  // pixels of the file drawn (the variant's at scale 2)
  } cases[] = {
      {L"frame.png", {20, 20}, 1.0, 20},  {L"frame.png", {47, 33}, 1.0, 20},
      {L"frame.png", {100, 28}, 1.0, 20}, {L"frame.png", {12, 300}, 1.0, 20},
      {L"common/frame.png", {47, 33}, 2.0, 40}, {L"common/frame.png", {64, 20}, 2.0, 40},
  };
  for (const Case& c : cases) {
    OffscreenImage image =
        renderImage(L"file='" + std::wstring(c.file) + L"' corner='6,6,6,6'", c.size, c.scale);
    const int corner = 6 * c.imageSize / 20;
    ASSERT_EQ(image.width, static_cast<int>(c.size.width * c.scale));
    int wrong = 0;
    for (int y = 0; y < corner; ++y) {
      for (int x = 0; x < corner; ++x) {
        const int right = c.imageSize - corner + x, bottom = c.imageSize - corner + y;
        const int outRight = image.width - corner + x, outBottom = image.height - corner + y;
        wrong += image.pixel(x, y) != patternPixel(x, y);
        wrong += image.pixel(outRight, y) != patternPixel(right, y);
        wrong += image.pixel(x, outBottom) != patternPixel(x, bottom);
        wrong += image.pixel(outRight, outBottom) != patternPixel(right, bottom);
      }
    }
    EXPECT_EQ(wrong, 0) << c.size.width << "x" << c.size.height << " at " << c.scale;
  }
}

TEST_F(PainterCairoTest, SourceRectangleTakesOnlyItsPartOfTheFile) {
  files_.files[L"btn.png"] = spritePng(60, 28);
  // The middle state stretched to twice its width: green only, none of its neighbours' colours.
  OffscreenImage image = renderImage(L"file='btn.png' source='20,0,40,28' corner='6,6,6,6'", {80, 28});
  EXPECT_EQ(countPixels(image, whole(image), [](uint32_t p) { return p == kGreen; }), 80 * 28);

  // A source beyond the file is cut to the file.
  image = renderImage(L"file='btn.png' source='40,0,90,28'", {20, 28});
  EXPECT_EQ(countPixels(image, whole(image), [](uint32_t p) { return p == kBlue; }), 20 * 28);
  // A source outside the file draws nothing.
  image = renderImage(L"file='btn.png' source='70,0,90,28'", {20, 28});
  EXPECT_EQ(countPixels(image, whole(image), [](uint32_t p) { return p == kWhite; }), 20 * 28);
}

TEST_F(PainterCairoTest, MaskColourBecomesTransparentAndDestPlacesTheImage) {
  // Blue with a magenta square in the middle.
  files_.files[L"icon.png"] = testsupport::pngOf(10, 10, [](int x, int y) {
    return x >= 3 && x < 7 && y >= 3 && y < 7 ? kMagenta : kBlue;
  });
  OffscreenImage masked = renderImage(L"file='icon.png' mask='#FFFF00FF'", {10, 10});
  EXPECT_EQ(masked.pixel(5, 5), kWhite) << "the background shows through";
  EXPECT_EQ(masked.pixel(1, 1), kBlue);
  EXPECT_EQ(countPixels(masked, whole(masked), [](uint32_t p) { return p == kMagenta; }), 0);

  OffscreenImage unmasked = renderImage(L"file='icon.png'", {10, 10});
  EXPECT_EQ(unmasked.pixel(5, 5), kMagenta);

  OffscreenImage placed = renderImage(L"file='icon.png' dest='20,0,30,10'", {40, 10});
  EXPECT_EQ(placed.pixel(5, 5), kWhite);
  EXPECT_EQ(placed.pixel(21, 1), kBlue);

  OffscreenImage faded = renderImage(L"file='icon.png' fade='0'", {10, 10});
  EXPECT_EQ(faded.pixel(1, 1), kWhite);
  OffscreenImage half = renderImage(L"file='icon.png' fade='128'", {10, 10});
  EXPECT_TRUE(near(half.pixel(1, 1), 0xFF7F7FFFu, 2)) << std::hex << half.pixel(1, 1);
}

TEST_F(PainterCairoTest, ExtremeImageRectanglesStayHarmless) {
  files_.files[L"icon.png"] = solidPng(10, 10, kBlue);
  const wchar_t* images[] = {
      L"file='icon.png' source='0,0,2147483647,2147483647' corner='2147483647,0,0,2147483647'",
      L"file='icon.png' source='-2147483648,-2147483648,5,5'",
      L"file='icon.png' dest='-2147483648,-2147483648,2147483647,2147483647'",
      L"file='icon.png' dest='2147483647,0,-2147483648,10'",
      L"file='icon.png' corner='-5,-5,-5,-5'",
      L"file='icon.png' corner='9,9,9,9'",
  };
  for (const wchar_t* text : images) {
    for (const double scale : {1.0, 2.0}) {
      OffscreenImage image = renderImage(text, {10, 10}, scale);
      EXPECT_EQ(image.width, static_cast<int>(10 * scale)) << std::wstring(text);
    }
  }
  // Corners larger than the control shrink together and still fill it.
  OffscreenImage image = renderImage(L"file='icon.png' corner='9,9,9,9'", {6, 6});
  EXPECT_EQ(countPixels(image, whole(image), [](uint32_t p) { return p == kBlue; }), 36);
}

TEST_F(PainterCairoTest, ImageAlphaBlendsOverTheBackground) {
  files_.files[L"glass.png"] = testsupport::pngOf(4, 4, [](int, int) { return 0x80000080u; });  // half blue
  OffscreenImage image = renderImage(L"glass.png", {4, 4});
  EXPECT_TRUE(near(image.pixel(2, 2), 0xFF7F7FFFu, 2)) << std::hex << image.pixel(2, 2);
}

TEST_F(PainterCairoTest, ProgressFillsTheRightWidth) {
  files_.files[L"bar.png"] = solidPng(10, 10, kGreen);
  struct Case {
    int value;
    double scale;
    bool image;
    int filled;  // device pixels of the bar's row
  } cases[] = {
      {0, 1.0, false, 0},    {37, 1.0, false, 74},   {100, 1.0, false, 200},
      {0, 1.0, true, 0},     {37, 1.0, true, 74},    {100, 1.0, true, 200},
      {37, 2.0, false, 148}, {37, 2.0, true, 148},
  };
  for (const Case& c : cases) {
    Progress progress;
    setAll(progress, {{L"bkcolor", L"#FFFFFF"}});
    if (c.image) setAll(progress, {{L"foreimage", L"bar.png"}});
    else setAll(progress, {{L"forecolor", L"#00FF00"}});
    progress.setValue(c.value);
    OffscreenImage image = render(progress, {200, 10}, c.scale);
    const int row = image.height / 2;
    EXPECT_EQ(countPixels(image, Rect{0, row, image.width, row + 1},
                          [](uint32_t p) { return p == kGreen; }),
              c.filled)
        << c.value << (c.image ? " image" : " colour") << " at " << c.scale;
    // The fill starts at the left edge.
    if (c.filled > 0) {
      EXPECT_EQ(image.pixel(0, row), kGreen);
    }
  }
}

TEST_F(PainterCairoTest, ButtonShowsTheImageOfItsState) {
  files_.files[L"btn.png"] = spritePng(60, 28);
  files_.files[L"btn_disabled.png"] = solidPng(20, 28, kGrey);
  struct Case {
    const char* state;
    bool enabled, hot, pushed;
    uint32_t color;
  } cases[] = {
      {"normal", true, false, false, kRed},  {"hot", true, true, false, kGreen},
      {"pushed", true, true, true, kBlue},   {"disabled", false, false, false, kGrey},
      {"disabled and hot", false, true, false, kGrey},
  };
  for (const Case& c : cases) {
    Button button;
    setAll(button, {{L"normalimage", L"file='btn.png' source='0,0,20,28' corner='6,6,6,6'"},
                    {L"hotimage", L"file='btn.png' source='20,0,40,28' corner='6,6,6,6'"},
                    {L"pushedimage", L"file='btn.png' source='40,0,60,28' corner='6,6,6,6'"},
                    {L"disabledimage", L"file='btn_disabled.png' corner='6,6,6,6'"}});
    button.setEnabled(c.enabled);
    button.setHot(c.hot);
    button.setPushed(c.pushed);
    OffscreenImage image = render(button, {100, 28});
    EXPECT_EQ(countPixels(image, whole(image), [&](uint32_t p) { return p == c.color; }), 100 * 28)
        << c.state;
  }
}

TEST_F(PainterCairoTest, EnlargedVariantIsUsedFromScaleTwo) {
  files_.files[L"common/logo.png"] = solidPng(10, 10, kRed);
  files_.files[L"commonEnalarge/logo.png"] = solidPng(20, 20, kBlue);
  files_.files[L"common/plain.png"] = solidPng(10, 10, kRed);
  files_.files[L"common/btn.png"] = spritePng(30, 10);
  files_.files[L"commonEnalarge/btn.png"] = spritePng(60, 20);
  struct Case {
    const wchar_t* image;
    double scale;
    uint32_t color;
  } cases[] = {
      {L"common/logo.png", 1.0, kRed},
      {L"common/logo.png", 1.5, kRed},
      {L"common/logo.png", 2.0, kBlue},
      {L"common/logo.png", 3.0, kBlue},
      {L"common/plain.png", 2.0, kRed},  // no variant: the plain pixels, scaled
      {L"file='common/btn.png' source='10,0,20,10'", 1.0, kGreen},
      {L"file='common/btn.png' source='10,0,20,10'", 2.0, kGreen},  // the variant's doubled source
  };
  for (const Case& c : cases) {
    OffscreenImage image = renderImage(c.image, {10, 10}, c.scale);
    const int side = static_cast<int>(std::ceil(10 * c.scale));
    ASSERT_EQ(image.width, side);
    EXPECT_EQ(countPixels(image, whole(image), [&](uint32_t p) { return p == c.color; }), side * side)
        << std::wstring(c.image) << " at " << c.scale;
  }
}

TEST_F(PainterCairoTest, ImagesAreDecodedOnce) {
  files_.files[L"btn.png"] = spritePng(60, 28);
  VerticalLayout box;
  for (const wchar_t* image : {L"file='btn.png' source='0,0,20,28'", L"file='btn.png' source='20,0,40,28'",
                               L"file='btn.png' mask='#FF0000'", L"btn.png", L"missing.png"}) {
    auto& child = box.add(std::make_unique<Control>());
    setAll(child, {{L"bkimage", image}, {L"height", L"20"}});
  }
  render(box, {60, 100});
  render(box, {60, 100}, 2.0);
  render(box, {80, 120});
  EXPECT_EQ(renderer_.imageDecodeCount(), 1);
  // Each name asked for once, the variants' names included, found or not.
  EXPECT_EQ(files_.reads, 4) << "btn.png, missing.png and their two enlarged names";
}

TEST_F(PainterCairoTest, ImagesThatCannotBeDecodedDrawNothing) {
  files_.files[L"broken.png"] = {0x89, 'P', 'N', 'G', 1, 2, 3};
  std::vector<uint8_t> truncated = solidPng(10, 10, kRed);
  truncated.resize(truncated.size() / 2);
  files_.files[L"truncated.png"] = truncated;
  for (const wchar_t* file : {L"broken.png", L"truncated.png", L"nothing.png"}) {
    OffscreenImage image = renderImage(file, {10, 10});
    EXPECT_EQ(countPixels(image, whole(image), [](uint32_t p) { return p == kWhite; }), 100)
        << std::wstring(file);
  }
}

TEST_F(PainterCairoTest, JpegFilesAreDecodedToo) {
  // A solid blue JPEG, written by gdk-pixbuf's own encoder.
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 16, 16);
  gdk_pixbuf_fill(pixbuf, 0x0000FFFFu);
  gchar* buffer = nullptr;
  gsize size = 0;
  ASSERT_TRUE(gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, "jpeg", nullptr, "quality", "100",
                                        nullptr));
  files_.files[L"photo.jpg"] = std::vector<uint8_t>(buffer, buffer + size);
  g_free(buffer);
  g_object_unref(pixbuf);
  OffscreenImage image = renderImage(L"photo.jpg", {16, 16});
  EXPECT_TRUE(near(image.pixel(8, 8), kBlue, 6)) << std::hex << image.pixel(8, 8);
}

// ---- Text ----

class PainterCairoTextTest : public PainterCairoTest {
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

TEST_F(PainterCairoTextTest, ColourMarkupColoursItsRunOnly) {
  OffscreenImage image = renderLabel(L"Ab<c #268fd6>XYZ</c>cd");
  const int runStart = measure(L"Ab").width;
  const int runEnd = measure(L"AbXYZ").width;
  auto accent = [](uint32_t p) { return near(p, 0xFF268FD6u, 12); };
  EXPECT_GT(countPixels(image, Rect{runStart, 0, runEnd, 40}, accent), 20);
  EXPECT_EQ(countPixels(image, Rect{0, 0, runStart - 1, 40}, accent), 0);
  EXPECT_EQ(countPixels(image, Rect{runEnd + 1, 0, 300, 40}, accent), 0);
  EXPECT_GT(countPixels(image, Rect{0, 0, runStart - 1, 40}, dark), 10) << "the rest stays black";
}

TEST_F(PainterCairoTextTest, DrawingLibraryMarkupIsShownAsText) {
  // Only the label markup styles text; anything else, however it looks, is drawn as written.
  const std::wstring text = L"<span foreground='red'>x</span><b>y</b>&amp;";
  OffscreenImage image = renderLabel(text, {600, 40});
  EXPECT_EQ(countPixels(image, whole(image), [](uint32_t p) { return near(p, kRed, 60); }), 0);
  int lastInk = 0;
  for (int x = 0; x < image.width; ++x) {
    if (countPixels(image, Rect{x, 0, x + 1, 40}, dark) > 0) lastInk = x;
  }
  EXPECT_NEAR(lastInk, measure(text).width, 4) << "every character of the tags is drawn";
}

TEST_F(PainterCairoTextTest, HostileTextsDrawWithoutComplaint) {
  // Texts from outside may carry anything: the drawing library is never given invalid text.
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
      L"<u><c #268fd6><u>nested</c></u>",
  };
  for (const std::wstring& text : texts) {
    OffscreenImage image = renderLabel(text);
    EXPECT_GT(countPixels(image, whole(image), [](uint32_t p) { return p != kWhite; }), 0)
        << text.size();
    EXPECT_GT(measure(text).width, 0) << text.size();
    EXPECT_LE(measure(text).width, kMaxExtent) << text.size();
  }
  // A million marks with nothing to sit on: nothing sensible to see, but drawn and measured within
  // bounds, without complaint.
  const std::wstring marks(1000000, L'\u0301');
  renderLabel(marks);
  EXPECT_LE(measure(marks).width, kMaxExtent);
  g_log_remove_handler("Pango", handler);
  EXPECT_EQ(complaints, 0);
}

// The longest row of dark pixels in |area|.
int longestDarkRow(const OffscreenImage& image, const Rect& area) {
  int best = 0;
  for (int y = area.top; y < area.bottom; ++y) {
    int run = 0;
    for (int x = area.left; x < area.right; ++x) {
      run = dark(image.pixel(x, y)) ? run + 1 : 0;
      best = std::max(best, run);
    }
  }
  return best;
}

TEST_F(PainterCairoTextTest, UnderlineMarkupDrawsALineUnderItsRun) {
  const int width = measure(L"minimum").width;
  const Rect area{0, 0, 300, 40};
  EXPECT_GE(longestDarkRow(renderLabel(L"<u>minimum</u>"), area), width * 8 / 10);
  EXPECT_LT(longestDarkRow(renderLabel(L"minimum"), area), width / 2);
}

TEST_F(PainterCairoTextTest, ArabicRendersRightToLeft) {
  // The first letter (logically) in red: it must stand at the right of the rest.
  OffscreenImage image = renderLabel(L"<c #ff0000>\u0645</c>\u0631\u062D\u0628\u0627 \u0628\u0643");
  double redX = 0, inkX = 0;
  int red = 0, ink = 0;
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const uint32_t p = image.pixel(x, y);
      if (near(p, kRed, 40)) redX += x, ++red;
      else if (dark(p)) inkX += x, ++ink;
    }
  }
  ASSERT_GT(red, 5);
  ASSERT_GT(ink, 20);
  EXPECT_GT(redX / red, inkX / ink);
}

TEST_F(PainterCairoTextTest, TheInstallerFaceHasChineseGlyphs) {
  ImageCache images;
  CairoPainter painter(nullptr, 1.0, renderer_.fonts(), images);
  EXPECT_TRUE(painter.fontCovers(0, U'\u4E2D')) << painter.resolvedFamily(0);
  EXPECT_TRUE(painter.fontCovers(-1, U'\u6587')) << "the default font is the same face";
  EXPECT_FALSE(painter.resolvedFamily(0).empty());

  OffscreenImage image = renderLabel(L"\u4E2D\u6587\u5B89\u88C5");
  EXPECT_GT(countPixels(image, whole(image), dark), 40);
  EXPECT_GT(measure(L"\u4E2D\u6587\u5B89\u88C5").width, 3 * 24) << "four full-width glyphs";
}

TEST_F(PainterCairoTextTest, MeasurementsKeepTheirRelations) {
  const Size one = measure(L"Install");
  const Size longer = measure(L"Install now");
  EXPECT_GT(one.width, 0);
  EXPECT_GT(longer.width, one.width);
  EXPECT_EQ(longer.height, one.height);
  const Size small = measure(L"Install now", 1);
  EXPECT_LT(small.width, longer.width) << "font 1 is smaller";
  EXPECT_LT(small.height, longer.height);
  const Size wrapped = measure(L"Install now please", 0, longer.width);
  EXPECT_LE(wrapped.width, longer.width);
  EXPECT_GE(wrapped.height, 2 * one.height - 2);
  EXPECT_EQ(measure(L""), Size{});

  // An autocalcwidth label is as wide as its text and padding.
  Label label;
  setAll(label, {{L"autocalcwidth", L"true"}, {L"textpadding", L"10,0,10,0"}, {L"font", L"0"}});
  label.setText(L"Install now");
  EXPECT_EQ(label.estimateSize({500, 40}, renderer_.measurer()).width, longer.width + 20);
}

TEST_F(PainterCairoTextTest, TextIsMeasuredAsItIsDrawnAtEveryScale) {
  // Hinting makes a text's width differ from scale to scale; a label sized by its text must hold
  // all of it at the scale it is drawn at.
  renderer_.fonts().setLayoutFonts({FontDescription{0, L"\u5FAE\u8F6F\u96C5\u9ED1", 13, false, false, false, true}});
  auto lastInk = [](const OffscreenImage& image) {
    int last = -1;
    for (int y = 0; y < image.height; ++y) {
      for (int x = 0; x < image.width; ++x) {
        if (dark(image.pixel(x, y))) last = std::max(last, x);
      }
    }
    return last;
  };
  for (const double scale : {1.0, 1.5, 2.0}) {
    for (const wchar_t* text : {L"llllllllllllllllllllll", L"iiiiiiiiiiiiiiiiiiiiiiii", L"Custom installation folder"}) {
      auto frame = [&](bool sized) {
        HorizontalLayout row;
        setAll(row, {{L"bkcolor", L"#FFFFFF"}});
        auto& label = row.add(std::make_unique<Label>());
        setAll(label, {{L"endellipsis", L"true"}, {L"font", L"0"}});
        if (sized) {
          setAll(label, {{L"autocalcwidth", L"true"}});
        } else {
          setAll(label, {{L"width", L"380"}});
        }
        row.add(std::make_unique<Control>());
        label.setText(text);
        return lastInk(render(row, {400, 30}, scale));
      };
      EXPECT_EQ(frame(true), frame(false)) << std::wstring(text) << " at " << scale;
    }
  }
}

TEST_F(PainterCairoTextTest, AlignmentAndEllipsisKeepTextInItsRectangle) {
  auto inkColumns = [](const OffscreenImage& image) {
    int first = image.width, last = -1;
    for (int y = 0; y < image.height; ++y) {
      for (int x = 0; x < image.width; ++x) {
        if (dark(image.pixel(x, y))) first = std::min(first, x), last = std::max(last, x);
      }
    }
    return std::make_pair(first, last);
  };
  for (const wchar_t* align : {L"left", L"center", L"right"}) {
    Label label;
    setAll(label, {{L"bkcolor", L"#FFFFFF"}, {L"font", L"0"}, {L"align", align}});
    label.setText(L"Next");
    const auto [first, last] = inkColumns(render(label, {300, 40}));
    ASSERT_GE(last, first) << std::wstring(align);
    const std::wstring name = align;
    if (name == L"left") {
      EXPECT_LT(first, 10);
    } else if (name == L"right") {
      EXPECT_GT(last, 290);
    } else {
      EXPECT_NEAR((first + last) / 2.0, 150, 8);
    }
  }
  // Right-to-left text keeps the alignment the layout gives: left is the left edge.
  for (const bool wrapped : {false, true}) {
    Label arabic;
    setAll(arabic, {{L"bkcolor", L"#FFFFFF"}, {L"font", L"0"}, {L"align", L"left"},
                    {L"wordbreak", wrapped ? L"true" : L"false"}});
    arabic.setText(L"\u0645\u0631\u062D\u0628\u0627");
    const auto [first, last] = inkColumns(render(arabic, {300, 40}));
    EXPECT_LT(first, 10) << (wrapped ? "wrapped" : "one line");
    EXPECT_LT(last, 150);
  }
  Label ellipsis;
  setAll(ellipsis, {{L"bkcolor", L"#FFFFFF"}, {L"font", L"0"}, {L"endellipsis", L"true"}});
  ellipsis.setText(L"A very long text that does not fit in this label at all");
  const auto [first, last] = inkColumns(render(ellipsis, {120, 40}));
  EXPECT_LT(last, 120);
  EXPECT_GT(last, 90) << "the text runs to the end, ending in an ellipsis";
}

TEST_F(PainterCairoTest, ContainersClipTheirChildren) {
  HorizontalLayout root;
  setAll(root, {{L"bkcolor", L"#FFFFFF"}});
  auto box = std::make_unique<Container>();
  setAll(*box, {{L"width", L"20"}});
  auto& spill = box->add(std::make_unique<Control>());
  root.add(std::move(box));
  setAll(spill, {{L"float", L"true"}, {L"pos", L"0,0,60,10"}, {L"bkcolor", L"#FF0000"}});
  OffscreenImage image = render(root, {60, 10});
  EXPECT_EQ(countPixels(image, Rect{0, 0, 20, 10}, [](uint32_t p) { return p == kRed; }), 200);
  EXPECT_EQ(countPixels(image, Rect{20, 0, 60, 10}, [](uint32_t p) { return p == kRed; }), 0);
}

TEST_F(PainterCairoTest, PainterDrawsInTheContextsOwnCoordinates) {
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

TEST_F(PainterCairoTest, ScreenshotIsWrittenAsPng) {
  Control control;
  control.setBkColor(kBlue);
  OffscreenImage image = render(control, {32, 16}, 2.0);
  ASSERT_EQ(image.width, 64);
  testsupport::TempFolder folder("toolkit_png");
  const std::string path = (folder.path() / "shot.png").string();
  ASSERT_TRUE(writePng(image, path));
  cairo_surface_t* read = cairo_image_surface_create_from_png(path.c_str());
  ASSERT_EQ(cairo_surface_status(read), CAIRO_STATUS_SUCCESS);
  EXPECT_EQ(cairo_image_surface_get_width(read), 64);
  EXPECT_EQ(cairo_image_surface_get_height(read), 32);
  cairo_surface_destroy(read);
  EXPECT_FALSE(writePng(OffscreenImage{}, path));
  EXPECT_FALSE(writePng(image, (folder.path() / "no" / "such" / "folder.png").string()));
  EXPECT_TRUE(render(control, {0, 16}).empty());
}

}  // namespace
}  // namespace toolkit
