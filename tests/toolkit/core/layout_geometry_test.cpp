#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "toolkit/core/control.h"

// The case tables name only the fields a case sets; the rest keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace toolkit {
namespace {

// Every character 7 wide, one line 14 high: geometry without fonts.
class FixedMeasurer : public TextMeasurer {
 public:
  Size measure(std::wstring_view text, int /*fontId*/, int /*maxWidth*/) const override {
    return Size{7 * static_cast<int>(text.size()), 14};
  }
};

struct ChildCase {
  int width = 0;
  int height = 0;
  int minSize = 0;  // along the layout's direction
  int maxSize = 0;
  Rect padding;
  bool visible = true;
  bool isFloat = false;
  Rect pos;
};

struct GeometryCase {
  const char* what;
  bool vertical;
  Rect inset;
  int childPadding;
  std::vector<ChildCase> children;
  std::vector<Rect> expected;  // per child, in order
};

std::unique_ptr<Container> makeLayout(const GeometryCase& c) {
  std::unique_ptr<Container> layout;
  if (c.vertical) layout = std::make_unique<VerticalLayout>();
  else layout = std::make_unique<HorizontalLayout>();
  layout->setInset(c.inset);
  layout->setChildPadding(c.childPadding);
  for (const ChildCase& wanted : c.children) {
    auto child = std::make_unique<Control>();
    child->setFixedWidth(wanted.width);
    child->setFixedHeight(wanted.height);
    if (c.vertical) {
      child->setMinHeight(wanted.minSize);
      child->setMaxHeight(wanted.maxSize);
    } else {
      child->setMinWidth(wanted.minSize);
      child->setMaxWidth(wanted.maxSize);
    }
    child->setPadding(wanted.padding);
    child->setVisible(wanted.visible);
    child->setFloat(wanted.isFloat);
    child->setFloatPos(wanted.pos);
    layout->add(std::move(child));
  }
  return layout;
}

// The layout is always placed at (10,20) with 200x100, so offsets show in every rectangle.
const Rect kArea{10, 20, 210, 120};

TEST(LayoutGeometryTest, LinearLayouts) {
  const GeometryCase cases[] = {
      {"vertical fixed heights, full width", true, {}, 0,
       {{.height = 30}, {.height = 20}},
       {{10, 20, 210, 50}, {10, 50, 210, 70}}},
      {"vertical fixed width keeps it", true, {}, 0,
       {{.width = 50, .height = 30}},
       {{10, 20, 60, 50}}},
      {"vertical stretch shares the rest evenly, last takes the remainder", true, {}, 0,
       {{.height = 10}, {}, {}, {}},
       {{10, 20, 210, 30}, {10, 30, 210, 60}, {10, 60, 210, 90}, {10, 90, 210, 120}}},
      {"vertical odd rest goes to the last stretched child", true, {}, 0,
       {{.height = 99}, {}, {}},
       {{10, 20, 210, 119}, {10, 119, 210, 119}, {10, 119, 210, 120}}},
      {"horizontal fixed and stretched", false, {}, 0,
       {{.width = 40}, {}, {.width = 60}},
       {{10, 20, 50, 120}, {50, 20, 150, 120}, {150, 20, 210, 120}}},
      {"horizontal fixed height keeps it", false, {}, 0,
       {{.width = 40, .height = 25}},
       {{10, 20, 50, 45}}},
      {"inset and childpadding", true, {5, 6, 7, 8}, 4,
       {{.height = 20}, {}, {.height = 20}},
       {{15, 26, 203, 46}, {15, 50, 203, 88}, {15, 92, 203, 112}}},
      {"child padding is kept around the child", false, {}, 0,
       {{.width = 50, .padding = {3, 4, 5, 6}}, {}},
       {{13, 24, 63, 114}, {68, 20, 210, 120}}},
      {"stretched child held at its max, the others take more", true, {}, 0,
       {{.maxSize = 10}, {}},
       {{10, 20, 210, 30}, {10, 30, 210, 120}}},
      {"stretched child held at its min, the others take less", false, {}, 0,
       {{.minSize = 150}, {}, {}},
       {{10, 20, 160, 120}, {160, 20, 185, 120}, {185, 20, 210, 120}}},
      {"fixed size clamped by max and min", true, {}, 0,
       {{.height = 80, .maxSize = 30}, {.height = 5, .minSize = 15}},
       {{10, 20, 210, 50}, {10, 50, 210, 65}}},
      {"hidden children take no space and no childpadding", true, {}, 10,
       {{.height = 30}, {.height = 30, .visible = false}, {}},
       {{10, 20, 210, 50}, {0, 0, 0, 0}, {10, 60, 210, 120}}},
      {"floating child at pos relative to the container, taking no space", false, {2, 2, 2, 2}, 0,
       {{}, {.isFloat = true, .pos = {5, 6, 25, 16}}},
       {{12, 22, 208, 118}, {15, 26, 35, 36}}},
      {"fixed sizes larger than the room overflow rather than shrink", true, {}, 0,
       {{.height = 80}, {.height = 80}, {}},
       {{10, 20, 210, 100}, {10, 100, 210, 180}, {10, 180, 210, 180}}},
  };
  FixedMeasurer measurer;
  for (const GeometryCase& c : cases) {
    SCOPED_TRACE(c.what);
    auto layout = makeLayout(c);
    layout->arrange(kArea, measurer);
    EXPECT_EQ(layout->rect(), kArea);
    ASSERT_EQ(layout->count(), static_cast<int>(c.expected.size()));
    for (int i = 0; i < layout->count(); ++i) {
      const Rect& got = layout->childAt(i)->rect();
      const Rect& want = c.expected[static_cast<size_t>(i)];
      EXPECT_EQ(got, want) << "child " << i << ": " << got.left << "," << got.top << ","
                           << got.right << "," << got.bottom;
    }
  }
}

TEST(LayoutGeometryTest, NestedLayoutsPlaceGrandchildren) {
  FixedMeasurer measurer;
  VerticalLayout root;
  auto row = std::make_unique<HorizontalLayout>();
  row->setFixedHeight(40);
  row->setChildPadding(10);
  auto left = std::make_unique<Control>();
  left->setFixedWidth(30);
  Control* leftPtr = &row->add(std::move(left));
  Control* rightPtr = &row->add(std::make_unique<Control>());
  root.add(std::move(row));
  Control* rest = &root.add(std::make_unique<Control>());
  root.arrange(Rect{0, 0, 100, 100}, measurer);
  EXPECT_EQ(leftPtr->rect(), (Rect{0, 0, 30, 40}));
  EXPECT_EQ(rightPtr->rect(), (Rect{40, 0, 100, 40}));
  EXPECT_EQ(rest->rect(), (Rect{0, 40, 100, 100}));
}

TEST(LayoutGeometryTest, TabPagesEachGetTheInnerRectangleAndOnlyOneShows) {
  FixedMeasurer measurer;
  TabLayout tabs;
  tabs.setInset(Rect{1, 2, 3, 4});
  Control* pages[3];
  for (Control*& page : pages) page = &tabs.add(std::make_unique<VerticalLayout>());
  tabs.arrange(Rect{0, 0, 50, 60}, measurer);
  for (Control* page : pages) EXPECT_EQ(page->rect(), (Rect{1, 2, 47, 56}));
  EXPECT_EQ(tabs.selectedIndex(), 0);
  EXPECT_TRUE(pages[0]->visible());
  EXPECT_FALSE(pages[1]->visible());
  EXPECT_FALSE(pages[2]->visible());
}

TEST(LayoutGeometryTest, AutoWidthLabelTakesItsMeasuredTextWidth) {
  FixedMeasurer measurer;
  HorizontalLayout row;
  auto label = std::make_unique<Label>();
  label->setText(L"abcd");
  label->setAutoCalcWidth(true);
  ASSERT_FALSE(label->setAttribute(L"textpadding", L"3,0,5,0"));
  Control* labelPtr = &row.add(std::move(label));
  Control* rest = &row.add(std::make_unique<Control>());
  row.arrange(Rect{0, 0, 100, 20}, measurer);
  EXPECT_EQ(labelPtr->rect(), (Rect{0, 0, 36, 20}));  // 4 * 7 + 3 + 5
  EXPECT_EQ(rest->rect(), (Rect{36, 0, 100, 20}));
}

TEST(LayoutGeometryTest, AutoWidthLabelStillKeepsItsMaxWidth) {
  FixedMeasurer measurer;
  HorizontalLayout row;
  auto label = std::make_unique<Label>();
  label->setText(std::wstring(50, L'x'));
  label->setAutoCalcWidth(true);
  label->setMaxWidth(60);
  Control* labelPtr = &row.add(std::move(label));
  row.arrange(Rect{0, 0, 500, 20}, measurer);
  EXPECT_EQ(labelPtr->rect().width(), 60);
}

TEST(LayoutGeometryTest, ACrowdedLineNeverWrapsAround) {
  // 30000 children of the largest height add up far beyond int: they run on downwards, in order,
  // and are held at a bound instead of wrapping to negative positions.
  FixedMeasurer measurer;
  VerticalLayout column;
  column.setChildPadding(kMaxExtent);
  for (int i = 0; i < 30000; ++i) {
    auto child = std::make_unique<Control>();
    child->setFixedHeight(kMaxExtent);
    child->setPadding(Rect{0, kMaxExtent, 0, kMaxExtent});
    column.add(std::move(child));
  }
  column.arrange(Rect{0, 0, 100, 100}, measurer);
  int previous = 0;
  for (int i = 0; i < column.count(); ++i) {
    const Rect& rect = column.childAt(i)->rect();
    ASSERT_GE(rect.top, previous) << "child " << i;
    ASSERT_GE(rect.bottom, rect.top) << "child " << i;
    previous = rect.top;
  }
  EXPECT_EQ(column.childAt(column.count() - 1)->rect().top, 500000000);
}

TEST(LayoutGeometryTest, SizesBeyondTheLargestExtentAreRefusedOrClamped) {
  Control control;
  for (const wchar_t* name : {L"width", L"height", L"minwidth", L"maxheight", L"bordersize"}) {
    AttributeError error = control.setAttribute(name, L"100001");
    ASSERT_TRUE(error.has_value()) << std::wstring(name);
    EXPECT_NE(error->find(L"out of range"), std::wstring::npos) << std::wstring(*error);
    EXPECT_FALSE(control.setAttribute(name, L"100000")) << std::wstring(name);
  }
  for (const wchar_t* name : {L"padding", L"pos"}) {
    EXPECT_TRUE(control.setAttribute(name, L"0,0,0,-100001")) << std::wstring(name);
    EXPECT_FALSE(control.setAttribute(name, L"-100000,0,0,100000")) << std::wstring(name);
  }
  VerticalLayout layout;
  EXPECT_TRUE(layout.setAttribute(L"inset", L"2000000,0,0,0"));
  EXPECT_TRUE(layout.setAttribute(L"childpadding", L"2147483647"));
  control.setFixedWidth(2147483647);
  EXPECT_EQ(control.fixedWidth(), kMaxExtent);
  control.setPadding(Rect{-2147483647, 0, 0, 2147483647});
  EXPECT_EQ(control.padding(), (Rect{-kMaxExtent, 0, 0, kMaxExtent}));
}

}  // namespace
}  // namespace toolkit
