// Right-to-left layout: a mirrored tree places every control where the left-to-right tree has it
// reflected in the root, and draws with swapped alignments, mirrored image places and a
// right-to-left text direction.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "toolkit/core/control.h"
#include "toolkit/core/layout_loader.h"
#include "toolkit/core/painter.h"

namespace toolkit {
namespace {

// Every character 7 wide, one line 14 high: geometry without fonts.
class FixedMeasurer : public TextMeasurer {
 public:
  Size measure(std::wstring_view text, int /*fontId*/, int maxWidth) const override {
    const int width = 7 * static_cast<int>(text.size());
    if (maxWidth <= 0 || width <= maxWidth) return Size{width, 14};
    return Size{maxWidth, 14 * ((width + maxWidth - 1) / maxWidth)};
  }
};

std::unique_ptr<Control> build(const std::wstring& body) {
  LoadedLayout layout = loadLayout(L"<Window size=\"300,200\">" + body + L"</Window>", L"test.xml");
  EXPECT_TRUE(layout.ok()) << (layout.error ? layout.error->text() : L"");
  return std::move(layout.root);
}

void forEach(Control& control, const std::function<void(Control&)>& f) {
  f(control);
  if (Container* box = control.asContainer()) {
    for (int i = 0; i < box->count(); ++i) forEach(*box->childAt(i), f);
  }
}

std::vector<Rect> rects(Control& root) {
  std::vector<Rect> all;
  forEach(root, [&](Control& c) { all.push_back(c.rect()); });
  return all;
}

const Rect kArea{10, 20, 310, 220};

Rect mirror(const Rect& r) {
  const int axis = kArea.left + kArea.right;
  return Rect{axis - r.right, r.top, axis - r.left, r.bottom};
}

// Whatever the layout, the right-to-left placement of every control is its left-to-right one
// reflected in the root: insets, paddings, spacing, floats, pages and nesting included.
TEST(LayoutDirectionTest, EveryControlIsPlacedAsTheLeftToRightLayoutReflected) {
  const struct {
    const char* what;
    const wchar_t* body;
  } cases[] = {
      {"a row with uneven insets, paddings and spacing",
       L"<HorizontalLayout inset=\"10,2,30,4\" childpadding=\"5\">"
       L"<Control width=\"40\" padding=\"3,0,7,0\"/><Control/><Label text=\"abc\" autocalcwidth=\"true\"/>"
       L"<Control width=\"25\"/></HorizontalLayout>"},
      {"a column whose children keep their own widths and side paddings",
       L"<VerticalLayout inset=\"12,0,4,0\"><Control width=\"50\" height=\"20\" padding=\"9,0,0,0\"/>"
       L"<Control height=\"30\"/><Label text=\"left\" width=\"80\" height=\"20\"/></VerticalLayout>"},
      {"nested rows and columns",
       L"<VerticalLayout><HorizontalLayout height=\"40\" inset=\"8,0,0,0\"><Control width=\"28\"/>"
       L"<VerticalLayout width=\"90\" inset=\"0,0,20,0\"><Control height=\"10\"/><Control width=\"30\"/>"
       L"</VerticalLayout><Control/></HorizontalLayout><Control/></VerticalLayout>"},
      {"floating controls at their positions",
       L"<Container inset=\"5,5,5,5\"><Control float=\"true\" pos=\"10,10,60,30\"/>"
       L"<Control padding=\"20,0,0,0\"/></Container>"},
      {"tab pages",
       L"<TabLayout inset=\"16,0,0,0\"><HorizontalLayout><Control width=\"70\"/><Control/>"
       L"</HorizontalLayout><Control/></TabLayout>"},
  };
  FixedMeasurer measurer;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::unique_ptr<Control> ltr = build(c.body);
    std::unique_ptr<Control> rtl = build(c.body);
    ASSERT_TRUE(ltr && rtl);
    rtl->setRightToLeft(true);
    ltr->arrange(kArea, measurer);
    rtl->arrange(kArea, measurer);
    const std::vector<Rect> left = rects(*ltr);
    const std::vector<Rect> right = rects(*rtl);
    ASSERT_EQ(left.size(), right.size());
    for (size_t i = 0; i < left.size(); ++i) EXPECT_EQ(right[i], mirror(left[i])) << "control " << i;
  }
}

// The places a reader of Arabic expects, in absolute numbers: the first child of a row at the
// right edge, the left inset at the right, the check box right of its text.
TEST(LayoutDirectionTest, RowsRunFromTheRightEdge) {
  FixedMeasurer measurer;
  std::unique_ptr<Control> root = build(
      L"<HorizontalLayout inset=\"16,0,4,0\"><Control name=\"first\" width=\"40\"/>"
      L"<Control name=\"rest\"/><Option name=\"box\" width=\"24\"/>"
      L"<Label name=\"text\" text=\"abcd\" autocalcwidth=\"true\"/></HorizontalLayout>");
  ASSERT_TRUE(root);
  root->setRightToLeft(true);
  root->arrange(kArea, measurer);
  Container& row = *root->asContainer();
  EXPECT_EQ(row.find(L"first")->rect(), (Rect{254, 20, 294, 220}));  // the left inset at the right
  EXPECT_EQ(row.find(L"text")->rect(), (Rect{14, 20, 42, 220}));     // 10 + 4, 28 wide
  const Rect box = row.find(L"box")->rect();
  EXPECT_EQ(box.left, row.find(L"text")->rect().right);
  EXPECT_EQ(row.find(L"rest")->rect().left, box.right);
}

// What a mirrored control asks the painter for: alignments and text paddings swap, the text runs
// right to left, an image's dest is reflected in the control, and only an image the skin marks
// as directional is flipped.
class StylePainter : public Painter {
 public:
  double scale() const override { return 1.0; }
  void fillRect(const Rect&, Color) override {}
  void drawBorder(const Rect&, int, Color) override {}
  bool drawImage(const Rect& rect, const ImageAttribute& image) override {
    images.push_back(image);
    imageRects.push_back(rect);
    return true;
  }
  void drawText(const Rect& rect, const MarkupText&, const TextStyle& style) override {
    textRects.push_back(rect);
    styles.push_back(style);
  }
  void pushClip(const Rect&) override {}
  void popClip() override {}
  Size measure(std::wstring_view text, int, int) const override {
    return Size{7 * static_cast<int>(text.size()), 14};
  }
  std::vector<ImageAttribute> images;
  std::vector<Rect> imageRects;
  std::vector<Rect> textRects;
  std::vector<TextStyle> styles;
};

TEST(LayoutDirectionTest, MirroredControlsSwapAlignmentsPaddingsAndImagePlaces) {
  const struct {
    const char* what;
    const wchar_t* attributes;
    bool rightToLeft;
    HAlign align;
    Rect textRect;
    std::optional<Rect> dest;
    bool flipped;
  } cases[] = {
      {"left text, left to right", L"align=\"left\" textpadding=\"10,0,2,0\"", false, HAlign::kLeft,
       Rect{10, 0, 98, 30}, std::nullopt, false},
      {"left text, right to left: at the right", L"align=\"left\" textpadding=\"10,0,2,0\"", true,
       HAlign::kRight, Rect{2, 0, 90, 30}, std::nullopt, false},
      {"right text, right to left: at the left", L"align=\"right\"", true, HAlign::kLeft,
       Rect{0, 0, 100, 30}, std::nullopt, false},
      {"centred text stays centred", L"align=\"center\"", true, HAlign::kCenter, Rect{0, 0, 100, 30},
       std::nullopt, false},
      {"an image's dest is reflected", L"normalimage=\"file='a.png' dest='0,4,16,20'\"", true,
       HAlign::kRight, Rect{0, 0, 100, 30}, Rect{84, 4, 100, 20}, false},
      {"a directional image is flipped", L"normalimage=\"file='a.png' mirror='true'\"", true,
       HAlign::kRight, Rect{0, 0, 100, 30}, std::nullopt, true},
      {"a directional image keeps its look left to right",
       L"normalimage=\"file='a.png' dest='0,4,16,20' mirror='true'\"", false, HAlign::kLeft,
       Rect{0, 0, 100, 30}, Rect{0, 4, 16, 20}, false},
  };
  FixedMeasurer measurer;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::unique_ptr<Control> root =
        build(std::wstring(L"<Button text=\"ab\" ") + c.attributes + L"/>");
    ASSERT_TRUE(root);
    root->setRightToLeft(c.rightToLeft);
    root->arrange(Rect{0, 0, 100, 30}, measurer);
    StylePainter painter;
    root->paint(painter);
    ASSERT_EQ(painter.styles.size(), 1u);
    EXPECT_EQ(painter.styles[0].align, c.align);
    EXPECT_EQ(painter.styles[0].rightToLeft, c.rightToLeft);
    EXPECT_EQ(painter.textRects[0], c.textRect);
    if (c.dest || c.flipped) {
      ASSERT_EQ(painter.images.size(), 1u);
      EXPECT_EQ(painter.images[0].dest, c.dest);
      EXPECT_EQ(painter.images[0].mirror, c.flipped);
    }
  }
}

TEST(LayoutDirectionTest, ProgressFillsFromTheReadingEdge) {
  const struct {
    bool rightToLeft;
    bool horizontal;
    int value;
    Rect filled;
  } cases[] = {
      {false, true, 28, Rect{10, 20, 66, 30}},   {true, true, 28, Rect{154, 20, 210, 30}},
      {true, true, 0, Rect{210, 20, 210, 30}},   {true, true, 100, Rect{10, 20, 210, 30}},
      {true, false, 50, Rect{10, 25, 210, 30}},  // a vertical bar still fills from the bottom
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "rtl " << c.rightToLeft << " value " << c.value);
    Progress bar;
    bar.setRightToLeft(c.rightToLeft);
    ASSERT_FALSE(bar.setAttribute(L"hor", c.horizontal ? L"true" : L"false"));
    bar.setValue(c.value);
    EXPECT_EQ(bar.filledRect(Rect{10, 20, 210, 30}), c.filled);
  }
}

TEST(LayoutDirectionTest, ChildrenAddedLaterFollowTheTreesDirection) {
  FixedMeasurer measurer;
  std::unique_ptr<Control> root = build(L"<HorizontalLayout><Control/></HorizontalLayout>");
  ASSERT_TRUE(root);
  root->setRightToLeft(true);
  Control& added = root->asContainer()->insert(0, std::make_unique<Control>());
  added.setFixedWidth(30);
  root->arrange(kArea, measurer);
  EXPECT_TRUE(added.rightToLeft());
  EXPECT_EQ(added.rect(), (Rect{280, 20, 310, 220}));
}

}  // namespace
}  // namespace toolkit
