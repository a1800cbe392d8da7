// Larger text never cut: the font table scales every size by the desktop's text scale, and fixed
// sizes in a layout grow to the texts they hold (containers to what their children need).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>

#include "toolkit/core/control.h"
#include "toolkit/core/font_table.h"
#include "toolkit/core/layout_loader.h"
#include "toolkit/core/measure_cache.h"

namespace toolkit {
namespace {

FontDescription font(int id, int size, bool isDefault = false) {
  FontDescription f;
  f.id = id;
  f.face = L"Sans";
  f.size = size;
  f.isDefault = isDefault;
  return f;
}

TEST(TextFitTest, TheFontTableScalesEverySizeAndKeepsWhichFontWins) {
  FontTable table;
  table.setLayoutFonts({font(0, 12, true), font(1, 14)});
  table.addShared(font(1, 30));  // the layout's font wins for id 1
  table.addShared(font(2, 18));
  const struct {
    double scale;
    double held;
    int id0, id1, id2, unknown, builtin;
  } cases[] = {
      {1.0, 1.0, 12, 14, 18, 12, 12},
      {1.25, 1.25, 15, 18, 23, 15, 15},  // 17.5 and 22.5 round to whole pixels
      {1.5, 1.5, 18, 21, 27, 18, 18},
      {0.1, FontTable::kMinTextScale, 6, 7, 9, 6, 6},
      {100.0, FontTable::kMaxTextScale, 48, 56, 72, 48, 48},
      {std::numeric_limits<double>::quiet_NaN(), 1.0, 12, 14, 18, 12, 12},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.scale);
    const unsigned before = table.generation();
    const double previous = table.textScale();
    table.setTextScale(c.scale);
    EXPECT_EQ(table.textScale(), c.held);
    EXPECT_EQ(table.font(0).size, c.id0);
    EXPECT_EQ(table.font(1).size, c.id1);
    EXPECT_EQ(table.font(2).size, c.id2);
    EXPECT_EQ(table.font(7).size, c.unknown);
    EXPECT_EQ(table.defaultFont().size, c.unknown);
    // Painters rebuild their fonts on a change only.
    if (table.textScale() != previous) {
      EXPECT_NE(table.generation(), before);
    } else {
      EXPECT_EQ(table.generation(), before);
    }
    FontTable fresh;
    fresh.setTextScale(c.scale);
    EXPECT_EQ(fresh.defaultFont().size, c.builtin);
    EXPECT_EQ(fresh.defaultFont().face, FontTable::builtinDefault().face);
  }
  // A font registered later is scaled too.
  table.setTextScale(2.0);
  table.addShared(font(3, 10));
  EXPECT_EQ(table.font(3).size, 20);
}

// Every character 7 wide (10 at font 1), one line 14 high (20 at font 1); lines break at
// |maxWidth|.
class FixedMeasurer : public TextMeasurer {
 public:
  Size measure(std::wstring_view text, int fontId, int maxWidth) const override {
    const int glyph = fontId == 1 ? 10 : 7;
    const int line = fontId == 1 ? 20 : 14;
    const int width = glyph * static_cast<int>(text.size());
    if (maxWidth <= 0 || width <= maxWidth) return Size{width, line};
    return Size{maxWidth, line * ((width + maxWidth - 1) / maxWidth)};
  }
};

std::unique_ptr<Control> build(const std::wstring& body) {
  LoadedLayout layout = loadLayout(L"<Window size=\"300,200\">" + body + L"</Window>", L"test.xml");
  EXPECT_TRUE(layout.ok()) << (layout.error ? layout.error->text() : L"");
  return std::move(layout.root);
}

TEST(TextFitTest, FixedSizesGrowToTheirTextsAndContainersToTheirChildren) {
  const struct {
    const char* what;
    const wchar_t* body;
    const wchar_t* name;
    Rect expected;
  } cases[] = {
      {"a text that fits keeps the fixed size",
       L"<VerticalLayout><Label name=\"t\" text=\"abc\" width=\"60\" height=\"24\"/><Control/></VerticalLayout>",
       L"t", Rect{0, 0, 60, 24}},
      {"a taller font grows the height",
       L"<VerticalLayout><Label name=\"t\" text=\"abc\" font=\"1\" height=\"16\" textpadding=\"0,1,0,1\"/>"
       L"<Control/></VerticalLayout>",
       L"t", Rect{0, 0, 300, 22}},
      {"a wider text grows a fixed width",
       L"<HorizontalLayout><Label name=\"t\" text=\"abcdefghij\" width=\"40\" textpadding=\"4,0,4,0\"/>"
       L"<Control/></HorizontalLayout>",
       L"t", Rect{0, 0, 78, 200}},
      {"a broken text grows in height at its width",
       L"<VerticalLayout><Label name=\"t\" text=\"abcdefghijklmnopqrst\" width=\"70\" height=\"14\" "
       L"wordbreak=\"true\"/><Control/></VerticalLayout>",
       L"t", Rect{0, 0, 70, 28}},
      {"an edit scrolls its line instead of growing wider",
       L"<HorizontalLayout><Edit name=\"t\" text=\"abcdefghij\" width=\"40\"/><Control/></HorizontalLayout>",
       L"t", Rect{0, 0, 40, 200}},
      {"a fixed row grows to its tallest text",
       L"<VerticalLayout><HorizontalLayout name=\"row\" height=\"16\" inset=\"0,2,0,2\"><Control width=\"20\"/>"
       L"<Label text=\"ab\" font=\"1\"/></HorizontalLayout><Control/></VerticalLayout>",
       L"row", Rect{0, 0, 300, 24}},
      {"a fixed column grows to the sum of its children",
       L"<VerticalLayout><VerticalLayout name=\"col\" height=\"30\" childpadding=\"4\">"
       L"<Label text=\"a\" height=\"14\"/><Label text=\"b\" font=\"1\" height=\"14\"/></VerticalLayout>"
       L"<Control/></VerticalLayout>",
       L"col", Rect{0, 0, 300, 38}},
      {"hidden children ask for nothing",
       L"<VerticalLayout><HorizontalLayout name=\"row\" height=\"16\"><Label text=\"ab\" font=\"1\" "
       L"visible=\"false\"/></HorizontalLayout><Control/></VerticalLayout>",
       L"row", Rect{0, 0, 300, 16}},
  };
  FixedMeasurer measurer;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::unique_ptr<Control> root = build(c.body);
    ASSERT_TRUE(root);
    root->arrange(Rect{0, 0, 300, 200}, measurer);
    Control* control = root->asContainer()->find(c.name);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->rect(), c.expected);
  }
}

TEST(TextFitTest, ARootSaysWhatItsContentNeedsAcrossItsPages) {
  std::unique_ptr<Control> root = build(
      L"<VerticalLayout inset=\"8,8,8,8\"><HorizontalLayout height=\"40\"><Label text=\"title\"/>"
      L"<Control width=\"40\"/></HorizontalLayout><TabLayout><VerticalLayout><Control height=\"50\"/>"
      L"</VerticalLayout><VerticalLayout><Label text=\"a much longer line on a later page\" height=\"14\"/>"
      L"<Control height=\"120\"/></VerticalLayout></TabLayout></VerticalLayout>");
  ASSERT_TRUE(root);
  FixedMeasurer measurer;
  // 8 + 40 + the larger page (14 + 120) + 8 high; the later page's line (34 characters) wide.
  EXPECT_EQ(root->asContainer()->contentSize(Size{100, 100}, measurer), (Size{8 + 238 + 8, 8 + 40 + 134 + 8}));
}

// Counts what it is asked.
class CountingMeasurer : public FixedMeasurer {
 public:
  Size measure(std::wstring_view text, int fontId, int maxWidth) const override {
    ++calls;
    return FixedMeasurer::measure(text, fontId, maxWidth);
  }
  mutable int calls = 0;
};

TEST(TextFitTest, TheMeasureCacheAsksOncePerTextUntilTheFontsOrScaleChange) {
  CountingMeasurer inner;
  CountingMeasurer other;
  MeasureCache cache;
  const struct {
    const char* what;
    const CountingMeasurer* measurer;
    unsigned generation;
    double scale;
    const wchar_t* text;
    int fontId, maxWidth;
    Size size;
    int innerCalls, otherCalls;
  } steps[] = {
      {"first time", &inner, 1, 1.0, L"abcd", 0, 0, Size{28, 14}, 1, 0},
      {"again", &inner, 1, 1.0, L"abcd", 0, 0, Size{28, 14}, 1, 0},
      {"another font", &inner, 1, 1.0, L"abcd", 1, 0, Size{40, 20}, 2, 0},
      {"broken at a width", &inner, 1, 1.0, L"abcd", 0, 14, Size{14, 28}, 3, 0},
      {"no width is one line", &inner, 1, 1.0, L"abcd", 0, -5, Size{28, 14}, 3, 0},
      {"fonts changed", &inner, 2, 1.0, L"abcd", 0, 0, Size{28, 14}, 4, 0},
      {"scale changed", &inner, 2, 2.0, L"abcd", 0, 0, Size{28, 14}, 5, 0},
      {"another measurer", &other, 2, 2.0, L"abcd", 0, 0, Size{28, 14}, 5, 1},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    cache.use(*step.measurer, step.generation, step.scale);
    EXPECT_EQ(cache.measure(step.text, step.fontId, step.maxWidth), step.size);
    EXPECT_EQ(inner.calls, step.innerCalls);
    EXPECT_EQ(other.calls, step.otherCalls);
  }
}

}  // namespace
}  // namespace toolkit
