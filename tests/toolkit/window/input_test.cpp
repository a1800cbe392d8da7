// Input through the headless host: clicks, hot and pushed states, options, combo items, edits,
// focus moves, keys, and what a disabled window or control refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/toolkit/window/window_test_support.h"

namespace toolkit::testing {
namespace {

using Seen = std::vector<std::wstring>;

constexpr const wchar_t* kMainLayout = LR"(<Window size="400,320" caption="0,0,400,30">
  <VerticalLayout name="body">
    <HorizontalLayout height="30" name="titlebar">
      <Label name="titlename" text="Title" tooltip="the title"/>
      <Button name="minbtn" width="30"/>
      <Button name="closebtn" width="30"/>
    </HorizontalLayout>
    <Button name="ok" height="30" text="OK" tooltip="Press me" cursor="hand"/>
    <Button name="other" height="30" text="Other"/>
    <Edit name="edit" height="30"/>
    <Option name="check" height="20"/>
    <HorizontalLayout height="20" name="radios">
      <Option name="r1" group="g" selected="true"/>
      <Option name="r2" group="g"/>
      <Option name="r3" group="g"/>
    </HorizontalLayout>
    <Combo name="combo" height="20">
      <ListLabelElement text="English" userdata="en"/>
      <ListLabelElement text="Deutsch" userdata="de"/>
      <ListLabelElement text="Français" userdata="fr"/>
    </Combo>
    <RichEdit name="licence" height="40" readonly="true"/>
    <Control name="spacer"/>
  </VerticalLayout>
</Window>)";

class InputTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    desktop.addLayout(L"main.xml", kMainLayout);
  }

  Point centre(std::wstring_view name) {
    Point point;
    EXPECT_TRUE(host().centreOf(name, point)) << std::wstring(name);
    return point;
  }
  HeadlessWindow& host() { return *desktop.hostOf(window); }
  template <class T = Control>
  T& control(std::wstring_view name) {
    T* found = window.findControl<T>(name);
    EXPECT_NE(found, nullptr) << std::wstring(name);
    return *found;
  }

  RecordingWindow window{L"main.xml"};
};

TEST_F(InputTest, AClickIsAPressAndReleaseOnTheSameControl) {
  HeadlessWindow& h = open(window);
  Button& ok = control<Button>(L"ok");

  // Press: pushed and hot; dragged away: neither, but still held; back: pushed again.
  ASSERT_TRUE(h.press(L"ok"));
  EXPECT_TRUE(ok.isPushed());
  EXPECT_TRUE(ok.isHot());
  h.moveTo(centre(L"other"));
  EXPECT_FALSE(ok.isPushed());
  EXPECT_FALSE(ok.isHot());
  EXPECT_FALSE(control(L"other").isHot()) << "only the held control can be hot during a press";
  EXPECT_EQ(window.input().pressed(), &ok);
  h.moveTo(centre(L"ok"));
  EXPECT_TRUE(ok.isPushed());
  h.pointerUp(centre(L"ok"));
  EXPECT_FALSE(ok.isPushed());
  EXPECT_TRUE(ok.isHot());
  EXPECT_EQ(window.seen, (Seen{L"setfocus:ok", L"click:ok"}));

  // Released over another control: no click anywhere.
  window.seen.clear();
  h.press(L"ok");
  h.pointerUp(centre(L"other"));
  EXPECT_EQ(window.seen, Seen{});
  EXPECT_FALSE(ok.isPushed());
  EXPECT_TRUE(control(L"other").isHot());

  // The window losing the focus ends a press without a click.
  h.press(L"other");
  h.focus(false);
  h.pointerUp(centre(L"other"));
  EXPECT_EQ(window.seen, (Seen{L"killfocus:ok", L"setfocus:other"}));
}

TEST_F(InputTest, HoverMakesHotAndGivesTheToolTipAndCursor) {
  HeadlessWindow& h = open(window);
  ASSERT_TRUE(h.hover(L"ok"));
  EXPECT_TRUE(control(L"ok").isHot());
  EXPECT_EQ(h.toolTip(), L"Press me");
  EXPECT_EQ(window.toolTip(), L"Press me");
  EXPECT_EQ(h.cursor(), Cursor::kHand);
  h.hover(L"edit");
  EXPECT_FALSE(control(L"ok").isHot());
  EXPECT_EQ(h.toolTip(), L"");
  EXPECT_EQ(h.cursor(), Cursor::kText);
  h.hover(L"titlename");
  EXPECT_EQ(h.toolTip(), L"the title");
  h.leave();
  EXPECT_FALSE(control(L"titlename").isHot());
  EXPECT_EQ(h.toolTip(), L"");
  EXPECT_EQ(h.cursor(), Cursor::kArrow);
  EXPECT_EQ(window.seen, Seen{}) << "hovering sends nothing";
}

TEST_F(InputTest, HitTestingFindsTheTopmostControlThatTakesInput) {
  desktop.addLayout(L"stack.xml", LR"(<Window size="200,100">
    <Container name="page">
      <Button name="under" float="true" pos="0,0,100,100"/>
      <Button name="over" float="true" pos="50,0,150,100"/>
      <Button name="hiddenTop" float="true" pos="0,0,40,40" visible="false"/>
      <Button name="disabledTop" float="true" pos="0,60,40,100" enabled="false"/>
      <Container name="off" float="true" pos="150,0,200,50" enabled="false">
        <Button name="inside"/>
      </Container>
    </Container>
  </Window>)");
  RecordingWindow stack(L"stack.xml");
  HeadlessWindow& h = open(stack);
  struct Case {
    Point at;
    const wchar_t* clicked;  // null: no click
  };
  const Case cases[] = {
      {{75, 50}, L"over"},   // later children lie above earlier ones
      {{20, 50}, L"under"},
      {{10, 10}, L"under"},  // a hidden control takes nothing
      {{10, 80}, nullptr},   // a disabled one takes the press, so nothing below gets it
      {{170, 20}, nullptr},  // nor do the children of a disabled container
      {{250, 50}, nullptr},  // outside the window
  };
  for (const Case& c : cases) {
    stack.seen.clear();
    h.clickAt(c.at);
    Seen clicks;
    for (const std::wstring& s : stack.seen) {
      if (s.starts_with(L"click:")) clicks.push_back(s);
    }
    EXPECT_EQ(clicks, c.clicked ? Seen{std::wstring(L"click:") + c.clicked} : Seen{})
        << c.at.x << "," << c.at.y;
  }
  EXPECT_EQ(InputRouter::hitTest(*stack.root(), Point{10, 80}), nullptr);
  Control* hit = InputRouter::hitTest(*stack.root(), Point{170, 70});
  ASSERT_NE(hit, nullptr);
  EXPECT_EQ(hit->name(), L"page");
}

TEST_F(InputTest, CheckBoxTogglesAndRadioGroupKeepsOneSelected) {
  HeadlessWindow& h = open(window);
  auto& check = control<Option>(L"check");
  h.click(L"check");
  EXPECT_TRUE(check.selected());
  h.click(L"check");
  EXPECT_FALSE(check.selected());
  EXPECT_EQ(window.seen, (Seen{L"setfocus:check", L"click:check", L"selectchanged:check",
                               L"click:check", L"selectchanged:check"}));

  window.seen.clear();
  h.click(L"r2");
  EXPECT_FALSE(control<Option>(L"r1").selected());
  EXPECT_TRUE(control<Option>(L"r2").selected());
  h.click(L"r2");  // a selected radio button stays selected
  EXPECT_TRUE(control<Option>(L"r2").selected());
  EXPECT_EQ(window.seen, (Seen{L"killfocus:check", L"setfocus:r2", L"click:r2",
                               L"selectchanged:r1", L"selectchanged:r2", L"click:r2"}));
}

TEST_F(InputTest, ComboOpensItsDropListAndTheChosenItemCarriesItsUserData) {
  HeadlessWindow& h = open(window);
  auto& combo = control<Combo>(L"combo");
  std::wstring chosenData;
  window.onNotify = [&](std::wstring_view type, Control& sender) {
    if (type != L"itemselect") return;
    auto& c = dynamic_cast<Combo&>(sender);
    chosenData = c.item(c.selectedIndex())->userData;
  };
  EXPECT_FALSE(h.chooseDropItem(0)) << "no list is open";
  h.click(L"combo");
  EXPECT_EQ(h.dropList(), &combo);
  EXPECT_FALSE(h.chooseDropItem(7));
  EXPECT_FALSE(h.chooseDropItem(std::wstring_view(L"Klingon")));
  ASSERT_TRUE(h.chooseDropItem(std::wstring_view(L"Deutsch")));
  EXPECT_EQ(h.dropList(), nullptr);
  EXPECT_EQ(chosenData, L"de");
  EXPECT_EQ(combo.text(), L"Deutsch");
  EXPECT_EQ(window.seen, (Seen{L"setfocus:combo", L"dropdown:combo", L"itemselect:combo"}));

  // The same item again changes nothing; the keys walk the items and open the list.
  window.seen.clear();
  h.click(L"combo");
  h.chooseDropItem(1);
  h.key(Key::kDown);
  EXPECT_EQ(chosenData, L"fr");
  h.key(Key::kDown);  // the last item stays
  h.key(Key::kUp);
  EXPECT_EQ(chosenData, L"de");
  h.key(Key::kDown, kAlt);
  EXPECT_EQ(h.dropList(), &combo);
  EXPECT_EQ(window.seen, (Seen{L"dropdown:combo", L"itemselect:combo", L"itemselect:combo",
                               L"dropdown:combo"}));

  // Disabled while its list is open: the choice is dropped.
  combo.setEnabled(false);
  EXPECT_TRUE(h.chooseDropItem(0));
  EXPECT_EQ(combo.selectedIndex(), 1);
}

// One edit case: keys and texts given to a focused edit, what it then holds.
struct EditOp {
  enum Kind { kType, kKey } kind;
  std::wstring text;
  Key key = Key::kOther;
  unsigned modifiers = kNoModifier;
};
EditOp typed(std::wstring text) { return EditOp{EditOp::kType, std::move(text)}; }
EditOp pressed(Key key, unsigned modifiers = kNoModifier) {
  return EditOp{EditOp::kKey, {}, key, modifiers};
}

struct EditCase {
  const char* name;
  std::wstring initial;
  std::vector<std::pair<const wchar_t*, const wchar_t*>> attributes;
  std::wstring clipboardBefore;
  std::vector<EditOp> ops;
  std::wstring text;
  int selectionStart;
  int selectionEnd;
  std::wstring clipboard;
  int changes;  // "textchanged" notifications
};

TEST_F(InputTest, EditTypingSelectionDeletionClipboardAndLimits) {
  const EditCase cases[] = {
      {"typing appends", L"", {}, L"", {typed(L"hello")}, L"hello", 5, 5, L"", 1},
      {"shift+left selects, typing replaces", L"", {}, L"",
       {typed(L"hello"), pressed(Key::kLeft, kShift), pressed(Key::kLeft, kShift), typed(L"p")},
       L"help", 4, 4, L"", 2},
      {"left and right collapse a selection to its edges", L"hello", {}, L"",
       {pressed(Key::kA, kControl), pressed(Key::kRight), pressed(Key::kLeft, kShift),
        pressed(Key::kLeft, kShift), pressed(Key::kLeft)},
       L"hello", 3, 3, L"", 0},
      {"home and shift+end", L"hello", {}, L"", {pressed(Key::kHome), pressed(Key::kEnd, kShift)},
       L"hello", 0, 5, L"", 0},
      {"backspace at the start does nothing", L"abc", {}, L"",
       {pressed(Key::kHome), pressed(Key::kBackspace)}, L"abc", 0, 0, L"", 0},
      {"backspace before the caret", L"abc", {}, L"", {pressed(Key::kEnd), pressed(Key::kBackspace)},
       L"ab", 2, 2, L"", 1},
      {"delete at the end does nothing, after the caret otherwise", L"abc", {}, L"",
       {pressed(Key::kEnd), pressed(Key::kDelete), pressed(Key::kHome), pressed(Key::kDelete)},
       L"bc", 0, 0, L"", 1},
      {"backspace removes the selection", L"hello", {}, L"",
       {pressed(Key::kA, kControl), pressed(Key::kBackspace)}, L"", 0, 0, L"", 1},
      {"cut, then paste twice", L"ab", {}, L"",
       {pressed(Key::kA, kControl), pressed(Key::kX, kControl), pressed(Key::kV, kControl),
        pressed(Key::kV, kControl)},
       L"abab", 4, 4, L"ab", 3},
      {"copy leaves the text", L"ab", {}, L"x",
       {pressed(Key::kA, kControl), pressed(Key::kC, kControl)}, L"ab", 0, 2, L"ab", 0},
      {"copy of nothing leaves the clipboard", L"ab", {}, L"x", {pressed(Key::kC, kControl)},
       L"ab", 2, 2, L"x", 0},
      {"the length limit cuts typing", L"", {{L"maxchar", L"5"}}, L"", {typed(L"abcdefgh")},
       L"abcde", 5, 5, L"", 1},
      {"a full edit refuses more", L"", {{L"maxchar", L"2"}}, L"",
       {typed(L"ab"), typed(L"c")}, L"ab", 2, 2, L"", 1},
      {"the limit counts the replaced selection", L"abc", {{L"maxchar", L"3"}}, L"",
       {pressed(Key::kLeft, kShift), typed(L"xyz")}, L"abx", 3, 3, L"", 1},
      {"a paste keeps the first line without control characters", L"", {}, L"one\ttwo\nthree",
       {pressed(Key::kV, kControl)}, L"onetwo", 6, 6, L"one\ttwo\nthree", 1},
      {"read-only: nothing changes the text, copying works", L"fixed", {{L"readonly", L"true"}},
       L"", {pressed(Key::kA, kControl), typed(L"x"), pressed(Key::kBackspace),
             pressed(Key::kDelete), pressed(Key::kX, kControl), pressed(Key::kC, kControl),
             pressed(Key::kV, kControl)},
       L"fixed", 0, 5, L"fixed", 0},
      {"a password is never copied or cut", L"secret", {{L"password", L"true"}}, L"keep",
       {pressed(Key::kA, kControl), pressed(Key::kC, kControl), pressed(Key::kX, kControl)},
       L"secret", 0, 6, L"keep", 0},
  };
  for (const EditCase& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingWindow w(L"main.xml");
    HeadlessWindow& h = open(w);
    auto* edit = w.findControl<Edit>(L"edit");
    ASSERT_NE(edit, nullptr);
    for (const auto& [name, value] : c.attributes) ASSERT_FALSE(edit->setAttribute(name, value));
    edit->setText(c.initial);
    desktop.clipboard = c.clipboardBefore;
    h.click(L"edit");
    ASSERT_TRUE(edit->isFocused());
    for (const EditOp& op : c.ops) {
      if (op.kind == EditOp::kType) {
        h.type(op.text);
      } else {
        h.key(op.key, op.modifiers);
      }
    }
    EXPECT_EQ(edit->text(), c.text);
    EXPECT_EQ(edit->selectionStart(), c.selectionStart);
    EXPECT_EQ(edit->selectionEnd(), c.selectionEnd);
    EXPECT_EQ(desktop.clipboard, c.clipboard);
    EXPECT_EQ(std::count(w.seen.begin(), w.seen.end(), L"textchanged:edit"), c.changes);
  }
}

TEST_F(InputTest, EditCaretFollowsThePointerAndLeavingItSaysKillfocus) {
  HeadlessWindow& h = open(window);
  auto& edit = control<Edit>(L"edit");
  edit.setText(L"abcdefgh");
  const int left = edit.rect().left;
  const int y = centre(L"edit").y;
  h.clickAt(Point{left + 7 * 3 + 2, y});  // near the left edge of the fourth character
  EXPECT_EQ(edit.caret(), 3);
  h.clickAt(Point{left + 7 * 5 + 5, y}, kShift);  // nearer the right edge of the sixth
  EXPECT_EQ(edit.selectionStart(), 3);
  EXPECT_EQ(edit.selectionEnd(), 6);
  // A drag from the first character to the end.
  h.pointerDown(Point{left + 1, y});
  h.moveTo(Point{edit.rect().right - 1, y});
  h.pointerUp(Point{edit.rect().right - 1, y});
  EXPECT_EQ(edit.selectedText(), L"abcdefgh");

  window.seen.clear();
  h.click(L"ok");
  EXPECT_FALSE(edit.isFocused());
  EXPECT_EQ(window.seen, (Seen{L"killfocus:edit", L"setfocus:ok", L"click:ok"}));
  // A press on what takes no focus clears it, and the edit still says so.
  h.click(L"edit");
  window.seen.clear();
  h.click(L"spacer");
  EXPECT_EQ(window.input().focused(), nullptr);
  EXPECT_EQ(window.seen, (Seen{L"killfocus:edit"}));
}

TEST_F(InputTest, ALongEditTextScrollsToKeepTheCaretInView) {
  HeadlessWindow& h = open(window);
  auto& edit = control<Edit>(L"edit");
  h.click(L"edit");
  h.type(std::wstring(100, L'x'));  // 700 pixels in a 400-pixel edit
  EXPECT_EQ(edit.scrollX(), 300);
  h.key(Key::kHome);
  EXPECT_EQ(edit.scrollX(), 0);
  h.key(Key::kRight);
  EXPECT_EQ(edit.scrollX(), 0) << "still in view";
  h.key(Key::kEnd);
  EXPECT_EQ(edit.scrollX(), 300);
  // A click goes to the character under the pointer in the scrolled text.
  const int y = centre(L"edit").y;
  h.clickAt(Point{edit.rect().left + 2, y});
  EXPECT_EQ(edit.caret(), 43);  // 302 pixels into the text, nearest the edge at 301
  EXPECT_EQ(edit.scrollX(), 300);
  // Deleting from the end keeps no empty room after the text.
  h.key(Key::kEnd);
  for (int i = 0; i < 30; ++i) h.key(Key::kBackspace);
  EXPECT_EQ(edit.scrollX(), 70 * 7 - 400);
}

TEST_F(InputTest, TabAndShiftTabMoveTheFocusInTreeOrder) {
  HeadlessWindow& h = open(window);
  control(L"other").setEnabled(false);
  control(L"r3").setVisible(false);
  control(L"radios").setEnabled(true);
  const Seen forward = {L"minbtn", L"closebtn", L"ok", L"edit", L"check", L"r1", L"r2",
                        L"combo", L"licence", L"minbtn"};
  Seen got;
  for (size_t i = 0; i < forward.size(); ++i) {
    h.key(Key::kTab);
    got.push_back(window.input().focused()->name());
  }
  EXPECT_EQ(got, forward);
  got.clear();
  for (int i = 0; i < 3; ++i) {
    h.key(Key::kTab, kShift);
    got.push_back(window.input().focused()->name());
  }
  EXPECT_EQ(got, (Seen{L"licence", L"combo", L"r2"}));
  EXPECT_TRUE(control(L"r2").isFocused());
  EXPECT_FALSE(control(L"combo").isFocused());

  // Tabbing into an edit selects its text; a disabled container's children are skipped.
  auto& edit = control<Edit>(L"edit");
  edit.setText(L"path");
  while (window.input().focused() != &edit) h.key(Key::kTab);
  EXPECT_EQ(edit.selectedText(), L"path");
  control(L"radios").setEnabled(false);
  window.seen.clear();
  h.key(Key::kTab);
  h.key(Key::kTab);
  EXPECT_EQ(window.seen, (Seen{L"killfocus:edit", L"setfocus:check", L"killfocus:check",
                               L"setfocus:combo"}));
}

TEST_F(InputTest, EnterAndSpaceActivateTheFocusedButtonEscapeClosesWhenTheWindowSaysSo) {
  HeadlessWindow& h = open(window);
  while (window.input().focused() != window.findControl(L"ok")) h.key(Key::kTab);
  window.seen.clear();
  h.key(Key::kEnter);
  h.key(Key::kSpace);
  h.key(Key::kEnter, kControl);  // not an activation
  EXPECT_EQ(window.seen, (Seen{L"click:ok", L"click:ok"}));

  window.seen.clear();
  h.click(L"check");
  h.key(Key::kSpace);
  EXPECT_FALSE(control<Option>(L"check").selected());

  // In an edit, Enter says "return" and Space is text to come; no button is clicked.
  h.click(L"edit");
  window.seen.clear();
  h.key(Key::kEnter);
  h.key(Key::kSpace);
  EXPECT_EQ(window.seen, (Seen{L"return:edit"}));

  // Escape closes only a window that asks for it, after the current event.
  h.key(Key::kEscape);
  drain();
  EXPECT_TRUE(window.isWindow());
  window.escapeCloses = true;
  h.key(Key::kEscape);
  EXPECT_TRUE(window.isWindow());
  ASSERT_TRUE(pumpUntil([&] { return !window.isWindow(); }));
  EXPECT_EQ(window.resultCode(), kResultCancel);
}

TEST_F(InputTest, ThePreFilterSeesKeysFirst) {
  HeadlessWindow& h = open(window);
  h.click(L"combo");
  h.chooseDropItem(0);
  window.filterF4 = true;
  h.key(Key::kF4);
  EXPECT_EQ(h.dropList(), nullptr);
  window.filterF4 = false;
  h.key(Key::kF4);
  EXPECT_NE(h.dropList(), nullptr);
}

TEST_F(InputTest, ADisabledWindowTakesNoInput) {
  HeadlessWindow& h = open(window);
  auto& edit = control<Edit>(L"edit");
  h.click(L"edit");
  window.seen.clear();
  window.enable(false);
  EXPECT_FALSE(h.enabled());
  EXPECT_FALSE(window.isEnabled());
  h.type(L"x");
  h.key(Key::kTab);
  h.click(L"ok");
  h.hover(L"ok");
  h.wheel(centre(L"licence"), -5);
  EXPECT_EQ(window.seen, Seen{});
  EXPECT_EQ(edit.text(), L"");
  EXPECT_FALSE(control(L"ok").isHot());

  // A press held when the window is disabled ends without a click.
  window.enable(true);
  h.press(L"ok");
  window.enable(false);
  EXPECT_FALSE(control(L"ok").isPushed());
  window.enable(true);
  h.pointerUp(centre(L"ok"));
  EXPECT_EQ(window.seen, (Seen{L"killfocus:edit", L"setfocus:ok"}));
  h.click(L"ok");
  EXPECT_EQ(window.seen.back(), L"click:ok");

  // Nor does a hidden one.
  window.seen.clear();
  window.show(ShowCommand::kHide);
  h.click(L"ok");
  EXPECT_EQ(window.seen, Seen{});
}

TEST_F(InputTest, ADisabledControlTakesNoInput) {
  HeadlessWindow& h = open(window);
  auto& edit = control<Edit>(L"edit");
  control(L"ok").setEnabled(false);
  h.click(L"ok");
  h.hover(L"ok");
  EXPECT_FALSE(control(L"ok").isHot());
  edit.setEnabled(false);
  h.click(L"edit");
  EXPECT_FALSE(edit.isFocused());
  EXPECT_EQ(window.seen, Seen{});

  // Disabled while focused: typing reaches nothing and the focus goes.
  edit.setEnabled(true);
  h.click(L"edit");
  edit.setEnabled(false);
  h.type(L"abc");
  EXPECT_EQ(edit.text(), L"");
  EXPECT_EQ(window.input().focused(), nullptr);
  EXPECT_EQ(window.seen, (Seen{L"setfocus:edit", L"killfocus:edit"}));
  // Disabled during a press: no click on the release.
  control(L"ok").setEnabled(true);
  h.press(L"ok");
  control(L"ok").setEnabled(false);
  h.pointerUp(centre(L"ok"));
  EXPECT_EQ(window.seen.back(), L"setfocus:ok");
}

TEST_F(InputTest, ReadOnlyRichEditScrollsByWheelAndKeys) {
  HeadlessWindow& h = open(window);
  auto& licence = control<RichEdit>(L"licence");
  // 400 pixels a line of 57 characters; 40 lines of text in a 40-pixel view.
  licence.setText(std::wstring(57 * 40, L'x'));
  window.relayout();
  const int range = 40 * 14 - licence.rect().height();
  h.wheel(centre(L"licence"), -1);
  EXPECT_EQ(licence.scrollY(), 3 * 14);
  h.wheel(centre(L"licence"), 2);
  EXPECT_EQ(licence.scrollY(), 0);
  h.wheel(centre(L"ok"), -1);  // the wheel over another control scrolls nothing
  EXPECT_EQ(licence.scrollY(), 0);
  h.click(L"licence");
  h.key(Key::kDown);
  EXPECT_EQ(licence.scrollY(), 14);
  h.key(Key::kEnd);
  EXPECT_EQ(licence.scrollY(), range);
  h.key(Key::kPageDown);
  EXPECT_EQ(licence.scrollY(), range);
  h.key(Key::kPageUp);
  EXPECT_EQ(licence.scrollY(), range - (licence.rect().height() - 14));
  h.key(Key::kHome);
  EXPECT_EQ(licence.scrollY(), 0);
  EXPECT_EQ(licence.text().size(), 57u * 40u) << "scrolling leaves the text";
}

TEST_F(InputTest, StateChangesAskForRepaints) {
  HeadlessWindow& h = open(window);
  h.clearInvalidated();
  h.hover(L"ok");
  ASSERT_FALSE(h.invalidated().empty());
  EXPECT_EQ(h.invalidated().back(), control(L"ok").rect());
  h.clearInvalidated();
  h.hover(L"ok");
  EXPECT_TRUE(h.invalidated().empty()) << "nothing changed";
}

}  // namespace
}  // namespace toolkit::testing
