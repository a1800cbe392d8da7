// Windows and the desktop's text: the direction taken from the language (a mirrored window has its
// caption at the other side), the text scale taken from the host, and a client area that grows
// when its texts need more room than the layout gave.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "tests/toolkit/window/window_test_support.h"

namespace toolkit::testing {
namespace {

constexpr const wchar_t* kLayout = LR"(<Window size="300,120" caption="0,0,100,30" sizebox="4,4,4,4">
  <Font id="0" name="Sans" size="12" default="true"/>
  <Font id="1" name="Sans" size="16"/>
  <VerticalLayout>
    <HorizontalLayout height="30">
      <Label name="title" text="Title"/>
      <Button name="closebtn" width="30"/>
    </HorizontalLayout>
    <Label name="line" height="20"/>
    <Control/>
  </VerticalLayout>
</Window>)";

class WindowTextTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    desktop.addLayout(L"text.xml", kLayout);
  }
};

TEST_F(WindowTextTest, ArabicAndPersianWindowsAreMirroredWithTheirCaption) {
  const struct {
    const wchar_t* locale;
    bool rightToLeft;
  } cases[] = {{L"en_US", false}, {L"ar_IL", true}, {L"fa_IR", true}, {L"zh_CN", false}, {L"de_DE", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.locale, c.locale + wcslen(c.locale)));
    setCurrentLanguage(c.locale);
    RecordingWindow window(L"text.xml");
    open(window);
    EXPECT_EQ(window.rightToLeft(), c.rightToLeft);
    const Rect close = window.findControl(L"closebtn")->rect();
    EXPECT_EQ(close.left, c.rightToLeft ? 0 : 270);
    // The caption is the title's end of the bar: the left 100 pixels, or the right ones.
    EXPECT_EQ(window.areaAt(Point{50, 15}), c.rightToLeft ? WindowArea::kClient : WindowArea::kCaption);
    EXPECT_EQ(window.areaAt(Point{250, 15}), c.rightToLeft ? WindowArea::kCaption : WindowArea::kClient);
    // The size box keeps its physical edges.
    EXPECT_EQ(window.areaAt(Point{1, 60}), WindowArea::kLeft);
    window.close();
    drain();
  }
}

TEST_F(WindowTextTest, WindowsTakeTheDesktopsTextScaleAndFollowItsChanges) {
  desktop.textScaleSetting = 1.5;
  RecordingWindow window(L"text.xml");
  open(window);
  EXPECT_EQ(window.fonts().textScale(), 1.5);
  EXPECT_EQ(window.font(1)->size, 24);
  window.setTextScale(1.25);
  EXPECT_EQ(window.font(-1)->size, 15);
  EXPECT_EQ(window.font(1)->size, 20);
  window.close();
  drain();
}

TEST_F(WindowTextTest, TheClientAreaGrowsToItsTextsAndNeverShrinksForThem) {
  RecordingWindow window(L"text.xml");
  HeadlessWindow& host = open(window);
  EXPECT_EQ(window.clientSize(), (Size{300, 120}));
  // 60 characters of 7 pixels: wider than the window.
  window.findControl(L"line")->setText(std::wstring(60, L'x'));
  window.relayout();
  EXPECT_EQ(window.clientSize(), (Size{420, 120}));
  EXPECT_EQ(host.frame().width(), 420);
  EXPECT_EQ(window.findControl(L"line")->rect().width(), 420);
  window.findControl(L"line")->setText(L"short");
  window.relayout();
  EXPECT_EQ(window.clientSize(), (Size{420, 120}));
  window.close();
  drain();
}

TEST_F(WindowTextTest, AGrownWindowStaysInsideTheWorkArea) {
  RecordingWindow window(L"text.xml");
  open(window);
  window.findControl(L"line")->setText(std::wstring(1000, L'x'));
  window.relayout();
  EXPECT_EQ(window.clientSize().width, desktop.workArea().width());
  window.close();
  drain();
}

}  // namespace
}  // namespace toolkit::testing
