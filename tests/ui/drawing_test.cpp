// The installer's windows as the Cairo painter draws them with the shipped skin, judged by their
// pixels: the boxes' frame over their title strip, and a keyboard focus ring on every control
// that takes the focus, at least 3:1 against what it replaces and what surrounds the control.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "tests/ui/main_frame_fixture.h"
#include "toolkit/painting/window_painting.h"
#include "ui/downloader_box.h"
#include "ui/msg/message_box.h"
#include "utility/base/strings.h"

namespace {

using toolkit::Control;
using toolkit::OffscreenImage;
using toolkit::Rect;

// WCAG relative luminance of an opaque pixel (alpha premultiplied: composed over white).
double luminance(uint32_t pixel) {
  const double alpha = ((pixel >> 24) & 0xFF) / 255.0;
  auto channel = [&](int shift) {
    const double premultiplied = ((pixel >> shift) & 0xFF) / 255.0;
    const double c = premultiplied + (1.0 - alpha);
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * channel(16) + 0.7152 * channel(8) + 0.0722 * channel(0);
}

double contrast(uint32_t a, uint32_t b) {
  const double la = luminance(a);
  const double lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

class DrawingTest : public uitest::MainFrameTest {
 protected:
  void SetUp() override {
    toolkit::useWindowPainting();
    MainFrameTest::SetUp();
  }
  void TearDown() override {
    MainFrameTest::TearDown();
    toolkit::setWindowDrawingMaker(nullptr);
    toolkit::setHeadlessRenderer(nullptr);
  }

  // The visible controls of |window| that take the keyboard focus.
  static std::vector<Control*> focusable(toolkit::WindowImplBase& window) {
    std::vector<Control*> found;
    std::function<void(Control&)> walk = [&](Control& c) {
      if (!c.visible()) return;
      if (c.acceptsFocus() && c.takesInput() && c.rect().width() > 8 && c.rect().height() > 8) found.push_back(&c);
      if (toolkit::Container* container = c.asContainer()) {
        for (int i = 0; i < container->count(); ++i) walk(*container->childAt(i));
      }
    };
    walk(*window.root());
    return found;
  }

  // For every focusable control: the share of its ring's pixels (sampled along the four edges)
  // that reach 3:1 against the same pixel unfocused, and against the surroundings just outside.
  // Each failing control is reported with its worst contrasts.
  static void expectVisibleRings(toolkit::WindowImplBase& window, const char* where) {
    window.relayout();
    const std::vector<Control*> controls = focusable(window);
    ASSERT_FALSE(controls.empty()) << where;
    for (Control* control : controls) {
      const std::string name = utility::wideToUtf8(std::wstring(control->name())) + " (" +
                               utility::wideToUtf8(std::wstring(control->className())) + ") in " + where;
      window.input().setFocus(nullptr);
      const OffscreenImage plain = toolkit::renderWindow(window);
      ASSERT_TRUE(window.input().setFocus(control, true)) << name;
      const OffscreenImage ring = toolkit::renderWindow(window);
      ASSERT_FALSE(plain.empty());
      const Rect r = control->rect();
      const int at = Control::kFocusRingInset;
      struct Sample {
        int x, y, outX, outY;
      };
      std::vector<Sample> samples;
      for (int x = r.left + at; x < r.right - at; x += 2) {
        samples.push_back({x, r.top + at, x, r.top - 1});
        samples.push_back({x, r.bottom - 1 - at, x, r.bottom});
      }
      for (int y = r.top + at; y < r.bottom - at; y += 2) {
        samples.push_back({r.left + at, y, r.left - 1, y});
        samples.push_back({r.right - 1 - at, y, r.right, y});
      }
      int changed = 0;
      int apart = 0;
      int outside = 0;
      double worstChange = 100;
      double worstApart = 100;
      for (const Sample& s : samples) {
        const uint32_t focused = ring.pixel(s.x, s.y);
        const double change = contrast(focused, plain.pixel(s.x, s.y));
        worstChange = std::min(worstChange, change);
        changed += change >= 3.0;
        // What surrounds the control, where it is inside the window.
        if (s.outX >= 0 && s.outY >= 0 && s.outX < plain.width && s.outY < plain.height) {
          const double against = contrast(focused, plain.pixel(s.outX, s.outY));
          worstApart = std::min(worstApart, against);
          apart += against >= 3.0;
          ++outside;
        }
      }
      const double total = static_cast<double>(samples.size());
      EXPECT_GE(changed / total, 0.9) << name << ": worst contrast with the unfocused look " << worstChange;
      if (outside > 0) {
        EXPECT_GE(apart / static_cast<double>(outside), 0.9)
            << name << ": worst contrast with the surroundings " << worstApart;
      }
    }
    window.input().setFocus(nullptr);
  }
};

TEST_F(DrawingTest, TheBoxesFrameIsDrawnOverTheirTitleStrip) {
  showMessageBox(frame, ButtonSpec{L"OK", {}, false}, L"Title", L"text");
  showExitBox(frame);
  for (const wchar_t* className : {L"MessageBoxWindow", L"box"}) {
    SCOPED_TRACE(utility::wideToUtf8(className));
    toolkit::HeadlessWindow* box = desktop.find(className);
    ASSERT_NE(box, nullptr);
    box->window().relayout();
    const OffscreenImage image = toolkit::renderWindow(box->window());
    ASSERT_FALSE(image.empty());
    const uint32_t frameColour = 0xFFB8C0CAu;
    // The top row and both sides along the title strip, and the bottom row.
    for (int x : {0, 12, 100, 300, image.width - 45, image.width - 20, image.width - 1}) {
      EXPECT_EQ(image.pixel(x, 0), frameColour) << "top, x " << x;
      EXPECT_EQ(image.pixel(x, image.height - 1), frameColour) << "bottom, x " << x;
    }
    for (int y : {1, 20, 39, 100, image.height - 2}) {
      EXPECT_EQ(image.pixel(0, y), frameColour) << "left, y " << y;
      EXPECT_EQ(image.pixel(image.width - 1, y), frameColour) << "right, y " << y;
    }
  }
}

TEST_F(DrawingTest, EveryFocusableControlShowsAFocusRingOfAtLeastThreeToOne) {
  // The choose page with the language list shown, and with the folder row.
  frame->findControl(L"languageCombo")->setVisible(true);
  expectVisibleRings(*frame, "the choose page");
  frame->showCustomPath(true);
  expectVisibleRings(*frame, "the folder row");
  frame->selectTab(CMainFrame::kLicencePage);
  expectVisibleRings(*frame, "the licence page");
  frame->setFinishButtonMode(false);
  frame->selectTab(CMainFrame::kFinishPage);
  expectVisibleRings(*frame, "the finish page");
  showMessageBox2(frame, ButtonSpec{L"Primary", {}, false}, ButtonSpec{L"Secondary", {}, true}, L"", L"t", L"x");
  expectVisibleRings(desktop.find(L"MessageBoxWindow")->window(), "a box");
  showExitBox(frame);
  expectVisibleRings(desktop.find(L"box")->window(), "the exit box");
}

TEST_F(DrawingTest, TheRingShowsOnceTheKeyboardIsUsed) {
  // Focused by the pointer: no ring, as desktops do; the first key shows it.
  Control& licence = *frame->findControl(L"acceptprotocolopt");
  const Rect r = licence.rect();
  frame->input().setFocus(&licence);
  ASSERT_TRUE(licence.isFocused());
  EXPECT_FALSE(licence.showsFocus());
  const OffscreenImage before = toolkit::renderWindow(*frame);
  host->key(toolkit::Key::kUp);
  EXPECT_TRUE(licence.isFocused());
  EXPECT_TRUE(licence.showsFocus());
  const OffscreenImage after = toolkit::renderWindow(*frame);
  EXPECT_EQ(after.pixel(r.left + 1, (r.top + r.bottom) / 2), Control::kFocusRingColor);
  EXPECT_NE(before.pixel(r.left + 1, (r.top + r.bottom) / 2), Control::kFocusRingColor);
  // From then on every focus move shows it, by the pointer too.
  frame->input().setFocus(frame->findControl(L"closebtn"));
  EXPECT_TRUE(frame->findControl(L"closebtn")->showsFocus());
}

}  // namespace
