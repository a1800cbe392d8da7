// What each control asks the painter for, by class and state, recorded by a painter that draws
// nothing; and the font table and image naming the painters build on.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "toolkit/core/control.h"
#include "toolkit/core/control_input.h"
#include "toolkit/core/font_table.h"
#include "toolkit/core/painter.h"

namespace toolkit {
namespace {

// Every call as one line of text.
class RecordingPainter : public Painter {
 public:
  double scale() const override { return 1.0; }
  void fillRect(const Rect& r, Color color) override { add(L"fill " + rect(r) + L" " + hex(color)); }
  void drawBorder(const Rect& r, int size, Color color) override {
    add(L"border " + rect(r) + L" " + std::to_wstring(size) + L" " + hex(color));
  }
  bool drawImage(const Rect& r, const ImageAttribute& image) override {
    std::wstring line = L"image " + rect(r) + L" " + image.file;
    if (image.source) line += L" source " + rect(*image.source);
    if (image.dest) line += L" dest " + rect(*image.dest);
    add(line);
    return true;
  }
  void drawText(const Rect& r, const MarkupText& text, const TextStyle& style) override {
    add(L"text " + rect(r) + L" " + text.text + L" " + hex(style.color) + L" runs " +
        std::to_wstring(text.runs.size()));
  }
  void pushClip(const Rect& r) override { add(L"clip " + rect(r)); }
  void popClip() override { add(L"unclip"); }
  // 8 pixels a character, 16 a line; lines break at |maxWidth|.
  Size measure(std::wstring_view text, int, int maxWidth) const override {
    const int width = static_cast<int>(text.size()) * 8;
    if (maxWidth <= 0 || width <= maxWidth) return Size{width, 16};
    return Size{maxWidth, 16 * ((width + maxWidth - 1) / maxWidth)};
  }

  std::vector<std::wstring> calls;

 private:
  void add(std::wstring line) { calls.push_back(std::move(line)); }
  static std::wstring rect(const Rect& r) {
    return std::to_wstring(r.left) + L"," + std::to_wstring(r.top) + L"," + std::to_wstring(r.right) +
           L"," + std::to_wstring(r.bottom);
  }
  static std::wstring hex(Color color) {
    wchar_t buffer[16];
    swprintf(buffer, 16, L"%08X", color);
    return buffer;
  }
};

void setAll(Control& control, std::initializer_list<std::pair<const wchar_t*, const wchar_t*>> attributes) {
  for (const auto& [name, value] : attributes) {
    ASSERT_FALSE(control.setAttribute(name, value)) << std::wstring(name);
  }
}

std::vector<std::wstring> paintCalls(Control& control, const Rect& rect = {0, 0, 100, 30}) {
  RecordingPainter painter;
  control.arrange(rect, painter);
  control.paint(painter);
  return painter.calls;
}

TEST(ControlPaintTest, ButtonLookFollowsItsState) {
  struct Case {
    const char* state;
    bool enabled, hot, pushed;
    const wchar_t* image;
    const wchar_t* color;
  } cases[] = {
      {"normal", true, false, false, L"n.png", L"FF111111"},
      {"hot", true, true, false, L"h.png", L"FF222222"},
      {"pushed", true, false, true, L"p.png", L"FF333333"},
      {"hot and pushed", true, true, true, L"p.png", L"FF333333"},
      {"disabled", false, false, false, L"d.png", L"FF444444"},
      {"disabled under the pointer", false, true, true, L"d.png", L"FF444444"},
  };
  for (const Case& c : cases) {
    Button button;
    setAll(button, {{L"text", L"OK"}, {L"normalimage", L"n.png"}, {L"hotimage", L"h.png"},
                    {L"pushedimage", L"p.png"}, {L"disabledimage", L"d.png"},
                    {L"textcolor", L"#111111"}, {L"hottextcolor", L"#222222"},
                    {L"pushedtextcolor", L"#333333"}, {L"disabledtextcolor", L"#444444"}});
    button.setEnabled(c.enabled);
    button.setHot(c.hot);
    button.setPushed(c.pushed);
    const std::vector<std::wstring> expected = {
        std::wstring(L"image 0,0,100,30 ") + c.image,
        std::wstring(L"text 0,0,100,30 OK ") + c.color + L" runs 0"};
    EXPECT_EQ(paintCalls(button), expected) << c.state;
  }
}

TEST(ControlPaintTest, MissingStateImagesFallBackToTheNormalOne) {
  Button button;
  setAll(button, {{L"normalimage", L"n.png"}, {L"hotbkcolor", L"#00FF00"}});
  button.setEnabled(false);
  EXPECT_EQ(paintCalls(button), std::vector<std::wstring>{L"image 0,0,100,30 n.png"});
  button.setEnabled(true);
  button.setHot(true);
  EXPECT_EQ(paintCalls(button),
            (std::vector<std::wstring>{L"fill 0,0,100,30 FF00FF00", L"image 0,0,100,30 n.png"}));
  button.setFocused(true);
  // A two-pixel ring just inside the edge, opaque: it shows over any face.
  EXPECT_EQ(paintCalls(button).back(), L"border 1,1,99,29 2 FF17171A") << "focus is visible";
}

// Every control that takes the focus draws the ring, drop lists and text fields too; a disabled
// one draws none.
TEST(ControlPaintTest, EveryFocusableClassDrawsTheFocusRing) {
  Combo combo;
  Edit edit;
  RichEdit text;
  Option option;
  for (Control* control : std::initializer_list<Control*>{&combo, &edit, &text, &option}) {
    SCOPED_TRACE(std::string(control->className().begin(), control->className().end()));
    control->setFocused(true);
    const std::vector<std::wstring> focused = paintCalls(*control);
    ASSERT_FALSE(focused.empty());
    EXPECT_EQ(focused.back(), L"border 1,1,99,29 2 FF17171A");
    control->setEnabled(false);
    const std::vector<std::wstring> calls = paintCalls(*control);
    EXPECT_TRUE(calls.empty() || calls.back() != L"border 1,1,99,29 2 FF17171A");
  }
}

// A container's border is drawn after its children: a child filling its edge keeps the frame.
TEST(ControlPaintTest, AContainersBorderIsDrawnOverItsChildren) {
  VerticalLayout box;
  setAll(box, {{L"bordersize", L"1"}, {L"bordercolor", L"#B8C0CA"}});
  auto& strip = box.add(std::make_unique<Control>());
  setAll(strip, {{L"bkcolor", L"#F5F7FA"}, {L"height", L"10"}});
  const std::vector<std::wstring> expected = {L"clip 0,0,100,30", L"fill 0,0,100,10 FFF5F7FA",
                                              L"border 0,0,100,30 1 FFB8C0CA", L"unclip"};
  EXPECT_EQ(paintCalls(box), expected);
}

// An edit's frame follows its state as a path field's does: the focused image while it has the
// focus, hot under the pointer, disabled when disabled, the normal one otherwise or when the
// state has none of its own.
TEST(ControlPaintTest, EditFrameFollowsItsState) {
  struct Case {
    const char* state;
    bool enabled, hot, focused, allImages;
    const wchar_t* image;
  } cases[] = {
      {"normal", true, false, false, true, L"n.png"},
      {"hot", true, true, false, true, L"h.png"},
      {"focused", true, false, true, true, L"f.png"},
      {"focused under the pointer", true, true, true, true, L"f.png"},
      {"disabled", false, true, true, true, L"d.png"},
      {"hot, no image of its own", true, true, false, false, L"n.png"},
      {"focused, no image of its own", true, false, true, false, L"n.png"},
  };
  for (const Case& c : cases) {
    Edit edit;
    setAll(edit, {{L"normalimage", L"n.png"}});
    if (c.allImages) {
      setAll(edit, {{L"hotimage", L"h.png"}, {L"focusedimage", L"f.png"}, {L"disabledimage", L"d.png"}});
    }
    edit.setEnabled(c.enabled);
    edit.setHot(c.hot);
    edit.setFocused(c.focused);
    const std::vector<std::wstring> calls = paintCalls(edit);
    ASSERT_FALSE(calls.empty()) << c.state;
    EXPECT_EQ(calls.front(), std::wstring(L"image 0,0,100,30 ") + c.image) << c.state;
  }
  Edit edit;
  EXPECT_TRUE(edit.setAttribute(L"focusedimage", L"file='x.png' source='1,2'")) << "a malformed image is refused";
}

// "multiline" breaks a label's text into lines as "wordbreak" does.
TEST(ControlPaintTest, MultilineLabelsBreakTheirText) {
  Label label;
  setAll(label, {{L"multiline", L"true"}});
  EXPECT_TRUE(label.wordBreak());
  setAll(label, {{L"multiline", L"false"}});
  EXPECT_FALSE(label.wordBreak());
  EXPECT_TRUE(label.setAttribute(L"multiline", L"maybe"));
}

TEST(ControlPaintTest, SelectedOptionShowsItsSelectedLook) {
  Option option;
  setAll(option, {{L"text", L"Accept"}, {L"normalimage", L"box.png"},
                  {L"selectedimage", L"checked.png"}, {L"textcolor", L"#000000"},
                  {L"selectedtextcolor", L"#268fd6"}});
  EXPECT_EQ(paintCalls(option), (std::vector<std::wstring>{L"image 0,0,100,30 box.png",
                                                           L"text 0,0,100,30 Accept FF000000 runs 0"}));
  option.setSelected(true);
  EXPECT_EQ(paintCalls(option), (std::vector<std::wstring>{L"image 0,0,100,30 checked.png",
                                                           L"text 0,0,100,30 Accept FF268FD6 runs 0"}));
}

TEST(ControlPaintTest, ProgressFillsItsValueOfTheWidth) {
  struct Case {
    int value;
    bool horizontal;
    Rect filled;
  } cases[] = {
      {0, true, {10, 0, 10, 20}},    {37, true, {10, 0, 84, 20}},  {100, true, {10, 0, 210, 20}},
      {1, true, {10, 0, 12, 20}},    {99, true, {10, 0, 208, 20}}, {37, false, {10, 13, 210, 20}},
      {100, false, {10, 0, 210, 20}},
  };
  for (const Case& c : cases) {
    Progress progress;
    ASSERT_FALSE(progress.setAttribute(L"hor", c.horizontal ? L"true" : L"false"));
    progress.setValue(c.value);
    EXPECT_EQ(progress.filledRect(Rect{10, 0, 210, 20}), c.filled) << c.value;
  }

  Progress colored;
  setAll(colored, {{L"forecolor", L"#FF0000"}, {L"value", L"37"}});
  EXPECT_EQ(paintCalls(colored, {0, 0, 200, 10}), std::vector<std::wstring>{L"fill 0,0,74,10 FFFF0000"});
  colored.setValue(0);
  EXPECT_TRUE(paintCalls(colored, {0, 0, 200, 10}).empty()) << "nothing filled at 0";

  // A fore image is stretched over the filled part only, whatever dest it had.
  Progress imaged;
  setAll(imaged, {{L"foreimage", L"file='bar.png' dest='0,0,5,5'"}, {L"value", L"50"}});
  EXPECT_EQ(paintCalls(imaged, {4, 4, 204, 14}),
            std::vector<std::wstring>{L"image 4,4,204,14 bar.png dest 0,0,100,10"});
}

TEST(ControlPaintTest, ContainersClipTheirVisibleChildren) {
  VerticalLayout box;
  setAll(box, {{L"bkcolor", L"#FFFFFF"}});
  auto& shown = box.add(std::make_unique<Control>());
  setAll(shown, {{L"bkcolor", L"#FF0000"}, {L"height", L"10"}});
  auto& hidden = box.add(std::make_unique<Control>());
  setAll(hidden, {{L"bkcolor", L"#00FF00"}, {L"visible", L"false"}});
  auto& outside = box.add(std::make_unique<Control>());
  setAll(outside, {{L"bkcolor", L"#0000FF"}, {L"float", L"true"}, {L"pos", L"0,500,10,510"}});
  auto& bordered = box.add(std::make_unique<Label>());
  setAll(bordered, {{L"bordersize", L"2"}, {L"bordercolor", L"#808080"}, {L"height", L"10"}});
  const std::vector<std::wstring> expected = {
      L"clip 0,0,100,30",  L"fill 0,0,100,30 FFFFFFFF", L"fill 0,0,100,10 FFFF0000",
      L"border 0,10,100,20 2 FF808080", L"unclip"};
  EXPECT_EQ(paintCalls(box), expected);

  box.setVisible(false);
  EXPECT_TRUE(paintCalls(box).empty());
}

TEST(ControlPaintTest, TextsAreDrawnAsTheirClassShowsThem) {
  Label plain;
  setAll(plain, {{L"text", L"a <u>b</u>"}, {L"textpadding", L"4,2,4,2"}});
  EXPECT_EQ(paintCalls(plain), std::vector<std::wstring>{L"text 4,2,96,28 a <u>b</u> FF000000 runs 0"});
  ASSERT_FALSE(plain.setAttribute(L"showhtml", L"true"));
  EXPECT_EQ(paintCalls(plain), std::vector<std::wstring>{L"text 4,2,96,28 a b FF000000 runs 1"});
  plain.setEnabled(false);
  EXPECT_EQ(paintCalls(plain), std::vector<std::wstring>{L"text 4,2,96,28 a b FFA7A6AA runs 1"});

  Edit password;
  setAll(password, {{L"text", L"<u>x</u>"}, {L"password", L"true"}, {L"showhtml", L"true"}});
  EXPECT_EQ(paintCalls(password),
            (std::vector<std::wstring>{L"clip 0,0,100,30",
                                       L"text 0,0,100,30 \u25CF\u25CF\u25CF\u25CF\u25CF\u25CF\u25CF\u25CF FF000000 runs 0",
                                       L"unclip"}));

  RichEdit licence;
  setAll(licence, {{L"text", L"Terms"}});
  EXPECT_EQ(paintCalls(licence), (std::vector<std::wstring>{L"clip 0,0,100,30",
                                                             L"text 0,0,100,30 Terms FF000000 runs 0", L"unclip"}));

  Combo combo;
  combo.addItem(L"English", L"en_US");
  combo.selectItem(0);
  EXPECT_EQ(paintCalls(combo), std::vector<std::wstring>{L"text 0,0,100,30 English FF000000 runs 0"});
}

// What input needs of a window, with the recording painter's measure (8 pixels a character).
class PaintInputContext : public InputContext {
 public:
  const TextMeasurer& measurer() const override { return painter; }
  std::wstring clipboardText() override { return {}; }
  void setClipboardText(std::wstring_view) override {}
  void openDropList(Combo&) override {}
  void invalidate(const Rect&) override {}
  RecordingPainter painter;
};

// Edits and rich edits are drawn where input placed their caret and scrolled them: the text
// shifted by the scroll, the caret and the selection of a focused edit at the measured offsets.
TEST(ControlPaintTest, EditsAreDrawnAsInputScrolledThem) {
  VerticalLayout root;
  auto& edit = static_cast<Edit&>(root.add(std::make_unique<Edit>()));
  setAll(edit, {{L"height", L"30"}, {L"textpadding", L"4,0,4,0"}, {L"password", L"true"}});
  auto& licence = static_cast<RichEdit&>(root.add(std::make_unique<RichEdit>()));
  setAll(licence, {{L"text", L"aaaaaaaaaaaaaaaaaaaa"}, {L"height", L"30"}});
  PaintInputContext context;
  InputRouter router(root, context);
  root.arrange(Rect{0, 0, 100, 60}, context.painter);
  ASSERT_TRUE(router.setFocus(&edit));
  // 20 characters of 8 pixels in a text area of 92: the caret at the end scrolls by 68.
  router.handle(InputEvent::typed(L"abcdefghijklmnopqrst"));
  ASSERT_EQ(edit.scrollX(), 68);
  RecordingPainter painter;
  edit.paint(painter);
  const std::wstring bullets(20, Edit::kPasswordChar);
  EXPECT_EQ(painter.calls, (std::vector<std::wstring>{L"clip 4,0,96,30", L"text -64,0,96,30 " + bullets + L" FF000000 runs 0",
                                                      L"fill 96,7,97,23 FF000000", L"unclip"}));
  // Shift+Home selects back to the start: the selection lies under the whole text.
  router.handle(InputEvent::keyDown(Key::kHome, kShift));
  painter.calls.clear();
  edit.paint(painter);
  ASSERT_EQ(edit.scrollX(), 0);
  EXPECT_EQ(painter.calls, (std::vector<std::wstring>{L"clip 4,0,96,30", L"fill 4,2,164,28 60268FD6",
                                                      L"text 4,0,164,30 " + bullets + L" FF000000 runs 0",
                                                      L"fill 4,7,5,23 FF000000", L"unclip",
                                                      L"border 1,1,99,29 2 FF17171A"}));  // a key: the ring shows

  // One line of 16 pixels a wheel step scrolls by 3 lines (48), within a text of 20 lines in 30.
  licence.setAttribute(L"wordbreak", L"true");
  root.arrange(Rect{0, 0, 8, 60}, context.painter);
  router.handle(InputEvent::wheel(Point{4, 40}, -1));
  ASSERT_EQ(licence.scrollY(), 48);
  painter.calls.clear();
  licence.paint(painter);
  EXPECT_EQ(painter.calls, (std::vector<std::wstring>{L"clip 0,30,8,60",
                                                      L"text 0,-18,8,302 aaaaaaaaaaaaaaaaaaaa FF000000 runs 0",
                                                      L"unclip"}));
}

TEST(FontTableTest, LayoutFontsWinOverSharedOnesOfTheSameId) {
  FontTable table;
  EXPECT_EQ(table.font(3), FontTable::builtinDefault()) << "unknown ids give the default";
  EXPECT_EQ(table.defaultFont().face, L"\u5FAE\u8F6F\u96C5\u9ED1");

  const unsigned before = table.generation();
  table.addShared(FontDescription{0, L"Shared", 12, false, false, false, false});
  table.addShared(FontDescription{1, L"Shared", 14, false, false, false, true});
  EXPECT_NE(table.generation(), before);
  EXPECT_EQ(table.font(1).size, 14);
  EXPECT_EQ(table.defaultFont().face, L"Shared") << "the shared default stands without a layout one";

  table.setLayoutFonts({FontDescription{1, L"Layout", 16, true, false, false, false},
                        FontDescription{2, L"Layout", 18, false, true, false, true}});
  EXPECT_EQ(table.font(0).face, L"Shared");
  EXPECT_EQ(table.font(1).face, L"Layout") << "the layout's own font wins";
  EXPECT_TRUE(table.font(1).bold);
  EXPECT_EQ(table.defaultFont().size, 18) << "the layout's default wins";
  EXPECT_EQ(table.font(-1).size, 18);
  EXPECT_EQ(table.font(7).size, 18);
  EXPECT_TRUE(table.defines(0));
  EXPECT_FALSE(table.defines(7));

  table.clearShared();
  EXPECT_EQ(table.font(0).size, 18) << "gone with the shared fonts";
}

TEST(PainterNamesTest, EnlargedVariantSitsInTheEnlargedFolder) {
  struct Case {
    const wchar_t* file;
    const wchar_t* variant;
  } cases[] = {
      {L"common/msg_noice48.png", L"commonEnalarge/msg_noice48.png"},
      {L"common\\btn_bg.png", L"commonEnalarge\\btn_bg.png"},
      {L"a/b/c.png", L"aEnalarge/b/c.png"},
      {L"logo.png", L"Enalarge/logo.png"},
  };
  for (const Case& c : cases) EXPECT_EQ(enlargedImageName(c.file), c.variant);
}

}  // namespace
}  // namespace toolkit
