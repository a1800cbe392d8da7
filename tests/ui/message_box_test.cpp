// The boxes with the shipped skin in the headless host: the general box by kind, its buttons,
// the one-box-per-text rule, the parent's enabled state through every way of closing, and the
// exit confirmation.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "model/downloader_model.h"
#include "tests/toolkit/window/window_test_support.h"
#include "tests/ui/box_test_support.h"
#include "toolkit/skin_setup.h"
#include "ui/downloader_box.h"
#include "ui/msg/message_box.h"
#include "ui/msg/message_box_window.h"
#include "ui/msg/selection_ui.h"
#include "ui/ui_actions.h"
#include "utility/base/strings.h"

namespace {

using toolkit::HeadlessWindow;
using toolkit::testing::RecordingWindow;

class MessageBoxTest : public toolkit::testing::WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    toolkit::loadSkinArchive(129, L"multi_language.tsv");
    uiactions::setForTesting(uiactions::Actions{
        .sendUiEvent = [this](const std::wstring& name, const std::wstring& label) { sent.emplace_back(name, label); },
        .reportUiEvent = {},
        .report = {},
        .openUrl = {},
        .runPlayerWithPackage = {}});
    host = &open(parent);
  }
  void TearDown() override {
    for (HeadlessWindow* window : desktop.windows()) {
      if (&window->window() != &parent) window->window().close();
    }
    drain();
    uiactions::setForTesting({});
    WindowTest::TearDown();
  }

  // The newest general box on screen; null when none.
  HeadlessWindow* box() const { return desktop.find(L"MessageBoxWindow"); }
  int boxCount() const {
    int n = 0;
    for (HeadlessWindow* window : desktop.windows()) n += window->window().windowClassName() == L"MessageBoxWindow";
    return n;
  }
  static std::vector<std::wstring> buttons(HeadlessWindow& window) { return uitest::boxButtons(window); }
  static bool clickButton(HeadlessWindow& window, const std::wstring& text) {
    return uitest::clickBoxButton(window, text);
  }

  RecordingWindow parent{L"mainframe.xml", L"cmainframe"};
  HeadlessWindow* host = nullptr;
  std::vector<std::pair<std::wstring, std::wstring>> sent;
};

TEST_F(MessageBoxTest, EachKindOfBoxHasItsLayoutIconTitleTextAndButtonsInOrder) {
  int clicks = 0;
  const ButtonSpec ok{L"OK", [&] { ++clicks; }, false};
  const ButtonSpec cancel{L"Cancel", {}, true};
  struct Case {
    const char* what;
    std::function<void()> open;
    std::wstring layout;
    bool icon;
    std::vector<std::wstring> buttons;
  };
  const std::vector<Case> cases = {
      {"one button", [&] { showMessageBox(&parent, ok, L"Title", L"one"); }, L"common/xml_messagebox.xml", true, {L"OK"}},
      {"two buttons", [&] { showMessageBox2(&parent, ok, cancel, msg::iconImage(0), L"Title", L"two"); },
       L"common/xml_messagebox.xml", true, {L"OK", L"Cancel"}},
      {"no icon", [&] { showMessageBox2(&parent, cancel, ok, L"", L"Title", L"plain"); },
       L"common/xml_messagebox_noicon.xml", false, {L"Cancel", L"OK"}},
      {"with close action",
       [&] { showMessageBoxEx(&parent, ok, cancel, msg::iconImage(2), L"Title", L"ex", [] {}); },
       L"common/xml_messagebox.xml", true, {L"OK", L"Cancel"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.open();
    HeadlessWindow* shown = box();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->window().skinFile(), c.layout);
    EXPECT_TRUE(shown->isVisible());
    EXPECT_TRUE(shown->active());
    EXPECT_TRUE(shown->style().topmost);
    EXPECT_TRUE(shown->style().toolWindow);
    EXPECT_EQ(shown->owner(), host);
    EXPECT_FALSE(host->enabled());
    EXPECT_EQ(shown->window().findControl(L"titlelabel")->text(), L"Title");
    for (int id = 0; id < 4; ++id) EXPECT_EQ(shown->window().font(id)->size, 12 + 2 * id);
    auto* label = shown->window().findControl<toolkit::Label>(L"descriptlabel");
    EXPECT_TRUE(label->showHtml());
    EXPECT_TRUE(label->wordBreak());
    toolkit::Control* icon = shown->window().findControl(L"msgiconimage");
    EXPECT_EQ(icon->visible(), c.icon);
    if (!c.icon) {
      EXPECT_EQ(label->fixedWidth(), 340);
    }
    EXPECT_EQ(buttons(*shown), c.buttons);
    // Buttons sit between the two spacers.
    auto* bar = shown->window().findControl(L"bottombar")->asContainer();
    EXPECT_NE(bar->childAt(0)->className(), L"Selection");
    EXPECT_NE(bar->childAt(bar->count() - 1)->className(), L"Selection");
    // Centred on the parent.
    const toolkit::Rect p = host->frame(), b = shown->frame();
    EXPECT_EQ((p.left + p.right) / 2, (b.left + b.right) / 2);
    const int before = clicks;
    ASSERT_TRUE(clickButton(*shown, c.buttons.front()));
    drain();
    EXPECT_EQ(box(), nullptr);
    EXPECT_TRUE(host->enabled());
    EXPECT_EQ(clicks - before, c.buttons.front() == L"OK" ? 1 : 0);
  }
}

TEST_F(MessageBoxTest, ButtonLooksArePrimaryOrSecondary) {
  showMessageBox2(&parent, ButtonSpec{L"Main", {}, false}, ButtonSpec{L"<u>Other</u>", {}, true}, L"", L"t", L"x");
  auto* bar = box()->window().findControl(L"bottombar")->asContainer();
  auto* primary = dynamic_cast<msg::CSelectionUI*>(bar->childAt(1));
  auto* secondary = dynamic_cast<msg::CSelectionUI*>(bar->childAt(2));
  ASSERT_NE(primary, nullptr);
  ASSERT_NE(secondary, nullptr);
  EXPECT_EQ(primary->normalImage().file, L"common\\btn_bg.png");
  EXPECT_EQ(secondary->normalImage().file, L"common\\btn_bg_default.png");
  EXPECT_EQ(primary->textColor(), 0xFF17171Au);
  EXPECT_EQ(secondary->textColor(), 0xFF000000u);
  EXPECT_EQ(secondary->markup().text, L"Other");
  for (auto* button : {primary, secondary}) {
    EXPECT_EQ(button->font(), 1);
    EXPECT_TRUE(button->handCursor());
    EXPECT_EQ(button->fixedHeight(), 30);
    EXPECT_GE(button->rect().right - button->rect().left, 100);
  }
}

TEST_F(MessageBoxTest, SameTextShowsOneBoxUntilItCloses) {
  const ButtonSpec ok{L"confirm", {}, true};
  showMessageBox(&parent, ok, L"t", L"same");
  showMessageBox(&parent, ok, L"t", L"same");
  EXPECT_EQ(boxCount(), 1);
  showMessageBox(&parent, ok, L"t", L"other");
  EXPECT_EQ(boxCount(), 2);
  for (HeadlessWindow* window : desktop.windows()) {
    if (&window->window() != &parent) window->window().close();
  }
  drain();
  EXPECT_EQ(boxCount(), 0);
  EXPECT_TRUE(msg::openBoxes().empty());
  showMessageBox(&parent, ok, L"t", L"same");
  EXPECT_EQ(boxCount(), 1);
}

TEST_F(MessageBoxTest, EveryWayOfClosingEnablesTheParent) {
  const ButtonSpec ok{L"confirm", {}, true};  // no action: still closes
  struct Case {
    const char* what;
    std::function<void(HeadlessWindow&)> close;
    int closeActions;
  };
  const std::vector<Case> cases = {
      {"button without action", [](HeadlessWindow& w) { ASSERT_TRUE(clickButton(w, L"confirm")); }, 0},
      {"close button", [](HeadlessWindow& w) { ASSERT_TRUE(w.click(L"closebtn")); }, 1},
      {"window manager", [](HeadlessWindow& w) { w.requestClose(); }, 1},  // as the close button
      {"Escape", [](HeadlessWindow& w) { w.key(toolkit::Key::kEscape); }, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    int closed = 0;
    showMessageBoxEx(&parent, ok, ButtonSpec{L"second", {}, false}, L"", L"t", L"closing", [&] { ++closed; });
    ASSERT_NE(box(), nullptr);
    EXPECT_FALSE(host->enabled());
    c.close(*box());
    drain();
    EXPECT_EQ(box(), nullptr);
    EXPECT_TRUE(host->enabled());
    EXPECT_EQ(closed, c.closeActions);
  }
}

TEST_F(MessageBoxTest, ActionThatOpensAnotherBoxKeepsTheParentDisabled) {
  const ButtonSpec next{L"next", [&] { showMessageBox(&parent, ButtonSpec{L"confirm", {}, true}, L"t", L"second"); }, false};
  showMessageBox(&parent, next, L"t", L"first");
  ASSERT_TRUE(clickButton(*box(), L"next"));
  drain();
  ASSERT_EQ(boxCount(), 1);
  EXPECT_FALSE(host->enabled());
  ASSERT_TRUE(clickButton(*box(), L"confirm"));
  drain();
  EXPECT_TRUE(host->enabled());
}

TEST_F(MessageBoxTest, ParentStaysDisabledUntilItsLastBoxCloses) {
  // A question on screen when an error arrives, and the exit box over both.
  showMessageBox(&parent, ButtonSpec{L"confirm", {}, true}, L"t", L"question");
  HeadlessWindow* question = box();
  showMessageBox(&parent, ButtonSpec{L"confirm", {}, true}, L"t", L"error");
  HeadlessWindow* error = box();
  ASSERT_NE(question, error);
  showExitBox(&parent);
  ASSERT_TRUE(clickButton(*question, L"confirm"));
  drain();
  EXPECT_FALSE(host->enabled());
  ASSERT_TRUE(desktop.find(L"box")->click(L"btnRight"));
  drain();
  EXPECT_FALSE(host->enabled());
  error->requestClose();
  drain();
  EXPECT_TRUE(host->enabled());
}

TEST_F(MessageBoxTest, BoxesGoWithTheirParent) {
  showMessageBox(&parent, ButtonSpec{L"confirm", {}, true}, L"t", L"orphan");
  showExitBox(&parent);
  parent.close();
  drain();
  EXPECT_EQ(desktop.windows().size(), 0u);
  EXPECT_TRUE(msg::openBoxes().empty());
  EXPECT_EQ(DownloaderBox::current(), nullptr);
}

TEST_F(MessageBoxTest, EnlargedIconOnHighDensityScreens) {
  desktop.scaleFactor = 2;
  EXPECT_EQ(msg::iconImageFor(&parent, 0), L"commonEnalarge/msg_noice48.png");
  showMessageBox(&parent, ButtonSpec{L"confirm", {}, true}, L"t", L"big");
  EXPECT_EQ(box()->window().findControl(L"msgiconimage")->bkImage().file, L"commonEnalarge/msg_noice48.png");
  desktop.scaleFactor = 1;
  EXPECT_EQ(msg::iconImageFor(&parent, 2), L"common/msg_noice48.png");
}

// ---- The exit confirmation ----

TEST_F(MessageBoxTest, ExitBoxIsOneAtATimeAndHoldsTheParent) {
  showExitBox(&parent);
  HeadlessWindow* first = desktop.find(L"box");
  ASSERT_NE(first, nullptr);
  EXPECT_FALSE(host->enabled());
  EXPECT_EQ(first->window().findControl(L"descriptlabel")->text(), toolkit::langString("MsgBox_exit"));
  EXPECT_EQ(first->window().findControl(L"btnLeft")->text(), toolkit::langString("Yes"));
  EXPECT_EQ(first->window().findControl(L"btnRight")->text(), toolkit::langString("No"));
  EXPECT_EQ(dynamic_cast<toolkit::Button*>(first->window().findControl(L"btnLeft"))->hotImage().source,
            (toolkit::Rect{100, 0, 200, 32}));
  // A newer box replaces it; the one replaced does not give the parent back.
  showExitBox(&parent);
  drain();
  int open = 0;
  for (HeadlessWindow* window : desktop.windows()) open += window->window().windowClassName() == L"box";
  EXPECT_EQ(open, 1);
  EXPECT_FALSE(host->enabled());
  ASSERT_NE(DownloaderBox::current(), nullptr);
}

TEST_F(MessageBoxTest, ExitBoxStayButtonsGiveTheWindowBack) {
  for (const wchar_t* button : {L"btnRight", L"closebtn"}) {
    SCOPED_TRACE(utility::wideToUtf8(button));
    showExitBox(&parent);
    ASSERT_TRUE(desktop.find(L"box")->click(button));
    drain();
    EXPECT_EQ(desktop.find(L"box"), nullptr);
    EXPECT_EQ(DownloaderBox::current(), nullptr);
    EXPECT_TRUE(host->enabled());
    EXPECT_TRUE(host->isVisible());
    EXPECT_FALSE(utility::MainLoop::quitRequested());
    EXPECT_TRUE(sent.empty());
  }
}

TEST_F(MessageBoxTest, ExitBoxLeaveReportsTheCancelAndEndsTheLoop) {
  showExitBox(&parent);
  ASSERT_TRUE(desktop.find(L"box")->click(L"btnLeft"));
  EXPECT_TRUE(utility::MainLoop::quitRequested());
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].first, L"userCancel");
  EXPECT_EQ(sent[0].second, DownloaderModel::instance().getOpenid());
  drain();
  EXPECT_EQ(desktop.find(L"box"), nullptr);
  // Left hidden and minimised: the box going does not bring it back.
  EXPECT_TRUE(host->isMinimized());
  EXPECT_FALSE(host->enabled());
}

}  // namespace
