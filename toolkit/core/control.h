// The control tree: a base control with the size rules and looks every control shares, the
// containers that place their children (vertical, horizontal, tab pages) and the control classes
// a layout names by tag. Controls hold their attributes and state and draw themselves through
// the painter interface (control_paint.cpp); the drawing library and input belong to the hosts.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/core/attribute_value.h"
#include "toolkit/core/input_event.h"
#include "toolkit/core/label_markup.h"
#include "toolkit/core/painter.h"
#include "toolkit/core/text_measurer.h"

namespace toolkit {

class Container;
class InputContext;
class InputRouter;

// Sizes, positions and spacings are kept within +-kMaxExtent pixels, so that no sum of them in a
// layout can overflow; a layout attribute beyond it is refused.
inline constexpr int kMaxExtent = 100000;

// Why an attribute was not applied; nullopt when it was.
using AttributeError = std::optional<std::wstring>;

inline int clampExtent(int value) { return value < 0 ? 0 : value > kMaxExtent ? kMaxExtent : value; }
inline Rect clampExtent(const Rect& rect) {
  auto clamp = [](int v) { return v < -kMaxExtent ? -kMaxExtent : v > kMaxExtent ? kMaxExtent : v; };
  return Rect{clamp(rect.left), clamp(rect.top), clamp(rect.right), clamp(rect.bottom)};
}

// Receives the notifications of a tree ("click", "selectchanged", "itemselect", "tabselect",
// "killfocus", ...) with the control that sent them.
class Control;
using NotifyHandler = std::function<void(std::wstring_view type, Control& sender)>;

class Control {
 public:
  Control() = default;
  virtual ~Control() = default;
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  // The tag that creates this class in a layout.
  virtual std::wstring_view className() const { return L"Control"; }
  virtual Container* asContainer() { return nullptr; }

  // Applies one layout attribute. An unknown name or a value the control cannot take leaves the
  // control as it was and says why.
  virtual AttributeError setAttribute(std::wstring_view name, std::wstring_view value);

  const std::wstring& name() const { return name_; }
  void setName(std::wstring name) { name_ = std::move(name); }
  Container* parent() const { return parent_; }

  // Size rules; 0 for a fixed width or height means "unsized": the container stretches it.
  int fixedWidth() const { return fixedWidth_; }
  int fixedHeight() const { return fixedHeight_; }
  // Setters clamp to 0..kMaxExtent (rectangles to +-kMaxExtent).
  void setFixedWidth(int width) { fixedWidth_ = clampExtent(width); }
  void setFixedHeight(int height) { fixedHeight_ = clampExtent(height); }
  int minWidth() const { return minWidth_; }
  int minHeight() const { return minHeight_; }
  int maxWidth() const { return maxWidth_; }
  int maxHeight() const { return maxHeight_; }
  void setMinWidth(int value) { minWidth_ = clampExtent(value); }
  void setMinHeight(int value) { minHeight_ = clampExtent(value); }
  void setMaxWidth(int value) { maxWidth_ = clampExtent(value); }
  void setMaxHeight(int value) { maxHeight_ = clampExtent(value); }
  // Space kept free around the control inside its container.
  const Rect& padding() const { return padding_; }
  void setPadding(const Rect& padding) { padding_ = clampExtent(padding); }
  // A floating control is placed at floatPos() relative to its container's top-left corner and
  // takes no room from the others.
  bool isFloat() const { return float_; }
  void setFloat(bool value) { float_ = value; }
  const Rect& floatPos() const { return floatPos_; }
  void setFloatPos(const Rect& pos) { floatPos_ = clampExtent(pos); }

  bool visible() const { return visible_; }
  void setVisible(bool visible) { visible_ = visible; }
  bool enabled() const { return enabled_; }
  void setEnabled(bool enabled) { enabled_ = enabled; }

  // The text as shown. setText takes it as it is; the "text" attribute resolves "@key".
  const std::wstring& text() const { return text_; }
  void setText(std::wstring text) { text_ = std::move(text); }
  Color textColor() const { return textColor_; }
  void setTextColor(Color color) { textColor_ = color; }
  // -1: the window's default font.
  int font() const { return font_; }
  void setFont(int id) { font_ = id; }
  const std::wstring& toolTip() const { return toolTip_; }
  void setToolTip(std::wstring text) { toolTip_ = std::move(text); }
  // 0: no background fill.
  Color bkColor() const { return bkColor_; }
  void setBkColor(Color color) { bkColor_ = color; }
  const ImageAttribute& bkImage() const { return bkImage_; }
  void setBkImage(ImageAttribute image) { bkImage_ = std::move(image); }
  int borderSize() const { return borderSize_; }
  Color borderColor() const { return borderColor_; }
  void setBorder(int size, Color color) { borderSize_ = size < 0 ? 0 : size; borderColor_ = color; }
  const std::wstring& userData() const { return userData_; }
  void setUserData(std::wstring data) { userData_ = std::move(data); }
  // The skin's "accessiblename" and "accessibledescription": what assistive technology is told
  // where the visible text is not enough (an image-only button). Kept as written, so "@key"
  // follows the text table when the language changes; empty when not given.
  std::wstring accessibleName() const;
  std::wstring accessibleDescription() const;

  // Sets the input state directly (drawing tests; a window's InputRouter keeps it otherwise, see
  // isHot() and the others below).
  void setHot(bool value) { hot_ = value; }
  void setPushed(bool value) { pushed_ = value; }
  // Focus set here shows its ring (the router decides that by how the window is used).
  void setFocused(bool value) {
    focused_ = value;
    focusVisible_ = value;
  }

  // ---- Drawing (control_paint.cpp) ----
  // Draws the control at rect(): background colour and image, state image, text, border; a
  // container draws its visible children clipped to its rectangle before its border, so the
  // border stays on top. Hidden controls draw nothing.
  virtual void paint(Painter& painter);

  // The size the control asks for in a container offering |available|; 0 in a dimension means
  // "as much as there is". Min/max are applied by the container. A fixed size that would cut
  // the control's text (a larger text scale, a longer translation) grows to fit it.
  virtual Size estimateSize(Size available, const TextMeasurer& measurer) const;
  // The room the control's content needs (its text, a container's children): what a
  // container must give it so that nothing is cut, whatever its own size rules say. 0 in a
  // dimension where nothing asks for room.
  virtual Size contentSize(Size /*available*/, const TextMeasurer& /*measurer*/) const { return {}; }
  // Places the control (and, for containers, its children) at |rect|.
  virtual void arrange(const Rect& rect, const TextMeasurer& measurer);
  const Rect& rect() const { return rect_; }

  // Right-to-left layout (Arabic, Persian), set on the root of a tree and read by every control
  // below it: each container places its children mirrored inside its own rectangle (horizontal
  // layouts run from the right, left and right insets, paddings and float positions swap), left
  // and right text alignments and text paddings swap, image dest rectangles are mirrored, and
  // texts are drawn with a right-to-left base direction. An image the skin marks with
  // mirror='true' is drawn flipped; other images keep their look.
  bool rightToLeft() const;
  void setRightToLeft(bool value) { rightToLeft_ = value; }
  // |rect| mirrored inside this control's rectangle when the tree is right-to-left; as it is
  // otherwise.
  Rect mirrored(const Rect& rect) const;

  // Sends a notification to the handler of the tree's root.
  void notify(std::wstring_view type);
  // Set on the root of a tree; notifications of every control below arrive here.
  void setNotifyHandler(NotifyHandler handler) { notifyHandler_ = std::move(handler); }
  Control& root();

  // ---- Input state, kept by the window's InputRouter (control_input.cpp); read by the painter ----
  // Hot: the pointer is over the control (while a press is held, only over the pressed one).
  bool isHot() const { return hot_; }
  // Pushed: pressed and the pointer still over it.
  bool isPushed() const { return pushed_; }
  // Has the keyboard focus of its window.
  bool isFocused() const { return focused_; }
  // Focused while the window is used with the keyboard (a key was pressed in it): the focus ring
  // shows. A window used only with the pointer shows none, as desktops do.
  bool showsFocus() const { return focused_ && focusVisible_; }
  // The keyboard focus ring: two pixels of near-black just inside the edge, over any face of the
  // skin (at least 3:1 against white, the accent and the light fills).
  static constexpr Color kFocusRingColor = 0xFF17171Au;
  static constexpr int kFocusRingInset = 1;
  static constexpr int kFocusRingWidth = 2;
  // This control and every one above it are visible and enabled.
  bool takesInput() const;
  // A press or Tab may give this control the keyboard focus.
  virtual bool acceptsFocus() const { return false; }
  // The pointer shape while the pointer is over the control.
  virtual Cursor cursor() const { return Cursor::kArrow; }
  // Typed text goes here while it has the focus (a host feeds its input method then).
  virtual bool takesText() const { return false; }

 protected:
  friend class InputRouter;
  // Input the router hands to a control that takes input. A click (press and release inside),
  // or Enter/Space while focused on a control that takes them, activates it.
  virtual void activate(InputContext& /*context*/) {}
  // True when the control used the key (keys nobody uses go on to the window).
  virtual bool keyDown(const InputEvent& /*event*/, InputContext& /*context*/) { return false; }
  virtual bool textInput(std::wstring_view /*text*/, InputContext& /*context*/) { return false; }
  // A press on the control, a move while it holds the press, or the wheel over it.
  virtual bool pointerInput(const InputEvent& /*event*/, InputContext& /*context*/) { return false; }
  virtual void focusChanged(bool /*focused*/, bool /*byKeyboard*/, InputContext& /*context*/) {}

  // The steps of paint() a class changes.
  virtual void paintStatusImage(Painter& /*painter*/) {}
  virtual void paintText(Painter& /*painter*/) {}
  // Background colour and image, state image and text; then the border.
  void paintFace(Painter& painter);
  void paintBorder(Painter& painter);
  // Draws a skin image of this control in its rectangle, as the tree's direction wants it (dest
  // mirrored, flipped where the skin says so).
  void drawSkinImage(Painter& painter, const ImageAttribute& image);
  // The text style of this control's tree: the direction, left and right swapped in a
  // right-to-left tree.
  TextStyle textStyle(HAlign align) const;

  Rect rect_;

 private:
  friend class Container;

  Container* parent_ = nullptr;
  bool rightToLeft_ = false;  // read on the root only
  std::wstring name_;
  int fixedWidth_ = 0;
  int fixedHeight_ = 0;
  int minWidth_ = 0;
  int minHeight_ = 0;
  int maxWidth_ = 0;   // 0: no limit
  int maxHeight_ = 0;  // 0: no limit
  Rect padding_;
  bool float_ = false;
  Rect floatPos_;
  bool visible_ = true;
  bool enabled_ = true;
  std::wstring text_;
  Color textColor_ = 0xFF000000u;
  int font_ = -1;
  std::wstring toolTip_;
  Color bkColor_ = 0;
  ImageAttribute bkImage_;
  int borderSize_ = 0;
  Color borderColor_ = 0;
  std::wstring userData_;
  std::wstring accessibleName_;
  std::wstring accessibleDescription_;
  NotifyHandler notifyHandler_;
  bool hot_ = false;
  bool pushed_ = false;
  bool focused_ = false;
  bool focusVisible_ = false;
};

// A control with children, which it owns. The base places every visible non-floating child in
// the whole inner rectangle; the layouts below divide it.
class Container : public Control {
 public:
  std::wstring_view className() const override { return L"Container"; }
  Container* asContainer() override { return this; }
  AttributeError setAttribute(std::wstring_view name, std::wstring_view value) override;

  // Space kept free inside the container's edges.
  const Rect& inset() const { return inset_; }
  void setInset(const Rect& inset) { inset_ = clampExtent(inset); }
  // Space between two neighbouring children.
  int childPadding() const { return childPadding_; }
  void setChildPadding(int padding) { childPadding_ = clampExtent(padding); }

  // The room the visible children need (their fixed and measured sizes, paddings, spacing)
  // plus the insets: what a fixed size must not go below so that no text is cut.
  Size contentSize(Size available, const TextMeasurer& measurer) const;
  // A fixed width or height grows to contentSize(); an unsized one stays 0.
  Size estimateSize(Size available, const TextMeasurer& measurer) const override;

  // Arranges |child| at |placed| (worked out left to right), mirrored inside this container in a
  // right-to-left tree. Every container places its children through here.
  void place(Control& child, const Rect& placed, const TextMeasurer& measurer) const;

  Control& add(std::unique_ptr<Control> child);
  // Inserts |child| before the child at |index| (clamped: at the end when out of range).
  Control& insert(int index, std::unique_ptr<Control> child);
  int count() const { return static_cast<int>(children_.size()); }
  // Null when |index| is out of range.
  Control* childAt(int index) const;
  // This control or the first one below it (depth first) with that name; null when none.
  Control* find(std::wstring_view name);

  void arrange(const Rect& rect, const TextMeasurer& measurer) override;
  void paint(Painter& painter) override;

 protected:
  virtual void onChildAdded(Control& /*child*/, int /*index*/) {}
  Rect innerRect(const Rect& rect) const;
  // Places the floating children of |rect|.
  void arrangeFloats(const Rect& rect, const TextMeasurer& measurer);


 private:
  std::vector<std::unique_ptr<Control>> children_;
  Rect inset_;
  int childPadding_ = 0;
};

// Children one below the other: fixed heights as given, the rest shared by the unsized ones.
class VerticalLayout : public Container {
 public:
  std::wstring_view className() const override { return L"VerticalLayout"; }
  Size contentSize(Size available, const TextMeasurer& measurer) const override;
  void arrange(const Rect& rect, const TextMeasurer& measurer) override;
};

// Children side by side: fixed widths as given, the rest shared by the unsized ones.
class HorizontalLayout : public Container {
 public:
  std::wstring_view className() const override { return L"HorizontalLayout"; }
  Size contentSize(Size available, const TextMeasurer& measurer) const override;
  void arrange(const Rect& rect, const TextMeasurer& measurer) override;
};

// Pages on top of each other; only the selected one is visible.
class TabLayout : public Container {
 public:
  std::wstring_view className() const override { return L"TabLayout"; }
  AttributeError setAttribute(std::wstring_view name, std::wstring_view value) override;

  // -1 while the selected page does not exist.
  int selectedIndex() const { return selected_ < count() ? selected_ : -1; }
  // Shows page |index| and hides the others; false (nothing changed) when out of range. A change
  // of page calls the selection handler and sends "tabselect".
  bool selectItem(int index);
  void setSelectionHandler(std::function<void(int oldIndex, int newIndex)> handler) {
    selectionHandler_ = std::move(handler);
  }
  // What the largest page needs, hidden pages included: a page shown later fits too.
  Size contentSize(Size available, const TextMeasurer& measurer) const override;
  void arrange(const Rect& rect, const TextMeasurer& measurer) override;

 protected:
  void onChildAdded(Control& child, int index) override;

 private:
  int selected_ = 0;  // may name a page not added yet ("selectedid" comes before the pages)
  std::function<void(int, int)> selectionHandler_;
};

// Text in a rectangle; "showhtml" turns on the label markup of <u> and <c #rrggbb>.
class Label : public Control {
 public:
  std::wstring_view className() const override { return L"Label"; }
  AttributeError setAttribute(std::wstring_view name, std::wstring_view value) override;
  Size estimateSize(Size available, const TextMeasurer& measurer) const override;
  // The text as drawn (broken at the width when "wordbreak" is on) plus the text padding; no
  // width for a text that may end in "..." ("endellipsis").
  Size contentSize(Size available, const TextMeasurer& measurer) const override;

  HAlign align() const { return align_; }
  VAlign valign() const { return valign_; }
  bool wordBreak() const { return wordBreak_; }
  bool endEllipsis() const { return endEllipsis_; }
  bool showHtml() const { return showHtml_; }
  void setShowHtml(bool value) { showHtml_ = value; }
  // The text to draw and its styled runs: the parsed markup when "showhtml" is on, otherwise the
  // text as it is with no runs (tags and all).
  MarkupText markup() const;
  const Rect& textPadding() const { return textPadding_; }
  // The text padding as drawn: left and right swapped in a right-to-left tree.
  Rect shownTextPadding() const;
  // The width follows the text (measured, plus the text padding).
  bool autoCalcWidth() const { return autoCalcWidth_; }
  void setAutoCalcWidth(bool value) { autoCalcWidth_ = value; }
  Color disabledTextColor() const { return disabledTextColor_; }

 protected:
  // Whether a fixed width grows to one line of the text.
  virtual bool growsToTextWidth() const { return true; }
  void paintText(Painter& painter) override;
  // Draws the text (markup() when "showhtml" is on) in the colour given, inside the text padding.
  void paintLabelText(Painter& painter, Color color);

 private:
  HAlign align_ = HAlign::kLeft;
  VAlign valign_ = VAlign::kCenter;
  bool wordBreak_ = false;
  bool endEllipsis_ = false;
  bool showHtml_ = false;
  Rect textPadding_;
  bool autoCalcWidth_ = false;
  Color disabledTextColor_ = 0xFFA7A6AAu;
};

// "Text" in a layout: a label that shows its markup.
class Text : public Label {
 public:
  Text() { setShowHtml(true); }
  std::wstring_view className() const override { return L"Text"; }
};

// A label with a look per state.
class Button : public Label {
 public:
  std::wstring_view className() const override { return L"Button"; }
  AttributeError setAttribute(std::wstring_view name, std::wstring_view value) override;

  const ImageAttribute& normalImage() const { return normalImage_; }
  const ImageAttribute& hotImage() const { return hotImage_; }
  const ImageAttribute& pushedImage() const { return pushedImage_; }
  const ImageAttribute& disabledImage() const { return disabledImage_; }
  Color hotTextColor() const { return hotTextColor_; }
  Color pushedTextColor() const { return pushedTextColor_; }
  Color hotBkColor() const { return hotBkColor_; }
  Color pushedBkColor() const { return pushedBkColor_; }
  bool handCursor() const { return handCursor_; }

  // ---- Input (control_input.cpp): a click or Enter/Space sends "click" ----
  bool acceptsFocus() const override { return true; }
  Cursor cursor() const override { return handCursor_ ? Cursor::kHand : Cursor::kArrow; }

 protected:
  void activate(InputContext& context) override;
  bool keyDown(const InputEvent& event, InputContext& context) override;

 protected:
  void paintStatusImage(Painter& painter) override;
  void paintText(Painter& painter) override;
  // The text colour for the current state (disabled, pushed, hot, normal).
  virtual Color stateTextColor() const;

 private:
  ImageAttribute normalImage_;
  ImageAttribute hotImage_;
  ImageAttribute pushedImage_;
  ImageAttribute disabledImage_;
  Color hotTextColor_ = 0;
  Color pushedTextColor_ = 0;
  Color hotBkColor_ = 0;
  Color pushedBkColor_ = 0;
  bool handCursor_ = false;
};

// A check box, or a radio button when it has a group: selecting one option of a group clears the
// others of that group in the same tree.
class Option : public Button {
 public:
  std::wstring_view className() const override { return L"Option"; }
  AttributeError setAttribute(std::wstring_view name, std::wstring_view value) override;

  const std::wstring& group() const { return group_; }
  void setGroup(std::wstring group) { group_ = std::move(group); }
  bool selected() const { return selected_; }
  // Changes the state; a change sends "selectchanged". Selecting a grouped option clears the
  // selected option of its group, which sends its own "selectchanged".
  void setSelected(bool selected);
  const ImageAttribute& selectedImage() const { return selectedImage_; }
  Color selectedTextColor() const { return selectedTextColor_; }

 protected:
  // Input (control_input.cpp): "click", then a check box toggles and a radio button selects.
  void activate(InputContext& context) override;

  void paintStatusImage(Painter& painter) override;
  Color stateTextColor() const override;

 private:
  void setSelectedQuietly(bool selected);

  std::wstring group_;
  bool selected_ = false;
  ImageAttribute selectedImage_;
  Color selectedTextColor_ = 0;
};

// One line of editable text.
class Edit : public Label {
 public:
  std::wstring_view className() const override { return L"Edit"; }
  AttributeError setAttribute(std::wstring_view name, std::wstring_view value) override;

  bool readOnly() const { return readOnly_; }
  void setReadOnly(bool value) { readOnly_ = value; }
  // 0: no limit.
  int maxChars() const { return maxChars_; }
  bool password() const { return password_; }
  // The frame by state: "normalimage", "hotimage", "focusedimage", "disabledimage" (a state
  // without its own image shows the normal one).
  const ImageAttribute& normalImage() const { return normalImage_; }
  const ImageAttribute& hotImage() const { return hotImage_; }
  const ImageAttribute& focusedImage() const { return focusedImage_; }
  const ImageAttribute& disabledImage() const { return disabledImage_; }

  // ---- Editing (control_input.cpp): caret and selection as character indexes in text() ----
  int caret() const;
  // The selection, ordered; equal when nothing is selected.
  int selectionStart() const;
  int selectionEnd() const;
  std::wstring selectedText() const;
  // Selects from |anchor| to |caret| (clamped to the text); the caret goes to |caret|.
  void setSelection(int anchor, int caret);
  // The first shown pixel column of the text: input keeps the caret inside the text area (the
  // rectangle less the text padding), and the text is drawn from the area's left edge shifted
  // left by this much (an edit's text is always placed from the left, as input measures it).
  int scrollX() const { return scrollX_; }
  // The text as drawn and measured: a password shows one kPasswordChar per character.
  std::wstring shownText() const;
  static constexpr wchar_t kPasswordChar = L'\u25CF';
  bool acceptsFocus() const override { return true; }
  Cursor cursor() const override { return Cursor::kText; }
  bool takesText() const override { return true; }
  // A text set from outside (not typed) puts the caret at its end and scrolls the end into view,
  // where a completed folder shows what was added; a new width keeps the caret in view.
  void arrange(const Rect& rect, const TextMeasurer& measurer) override;

 protected:
  bool growsToTextWidth() const override { return false; }
  bool keyDown(const InputEvent& event, InputContext& context) override;
  bool textInput(std::wstring_view text, InputContext& context) override;
  bool pointerInput(const InputEvent& event, InputContext& context) override;
  void focusChanged(bool focused, bool byKeyboard, InputContext& context) override;

 protected:
  void paintStatusImage(Painter& painter) override;
  void paintText(Painter& painter) override;

 private:
  // Replaces the selection with |text| within the length limit; "textchanged" on a change.
  void replaceSelection(std::wstring_view text, InputContext& context);
  int caretAt(int x, const TextMeasurer& measurer) const;
  void keepCaretVisible(const TextMeasurer& measurer);

  bool readOnly_ = false;
  int maxChars_ = 255;
  bool password_ = false;
  ImageAttribute normalImage_;
  ImageAttribute hotImage_;
  ImageAttribute focusedImage_;
  ImageAttribute disabledImage_;
  int caret_ = 0;
  int anchor_ = 0;
  int scrollX_ = 0;
  std::wstring placedText_;  // the text caret_ and scrollX_ were placed for
};

// Several lines of text, scrolled.
class RichEdit : public Control {
 public:
  std::wstring_view className() const override { return L"RichEdit"; }
  AttributeError setAttribute(std::wstring_view name, std::wstring_view value) override;

  bool readOnly() const { return readOnly_; }
  bool wordBreak() const { return wordBreak_; }
  bool vscrollbar() const { return vscrollbar_; }

  // ---- Scrolling (control_input.cpp): the first shown pixel row of the text ----
  int scrollY() const { return scrollY_; }
  // Scrolls by |pixels| (negative: up) within the text's height; false when it did not move.
  bool scrollBy(int pixels, const TextMeasurer& measurer);
  bool acceptsFocus() const override { return true; }

 protected:
  bool keyDown(const InputEvent& event, InputContext& context) override;
  bool pointerInput(const InputEvent& event, InputContext& context) override;

 protected:
  void paintText(Painter& painter) override;

 private:
  bool readOnly_ = false;
  bool wordBreak_ = true;
  bool vscrollbar_ = true;
  int scrollY_ = 0;
};

// A bar filled to value() percent.
class Progress : public Label {
 public:
  std::wstring_view className() const override { return L"Progress"; }
  AttributeError setAttribute(std::wstring_view name, std::wstring_view value) override;

  int value() const { return value_; }
  // Clamped to 0..100.
  void setValue(int value);
  const ImageAttribute& foreImage() const { return foreImage_; }
  Color foreColor() const { return foreColor_; }
  bool horizontal() const { return horizontal_; }
  // The filled part of |rect| at value(): value percent of the width (of the height, from the
  // bottom, when vertical), rounded down; a horizontal bar fills from the right in a
  // right-to-left tree.
  Rect filledRect(const Rect& rect) const;

 protected:
  void paintStatusImage(Painter& painter) override;

 private:
  int value_ = 0;
  ImageAttribute foreImage_;
  Color foreColor_ = 0;
  bool horizontal_ = true;
};

// A drop list whose items carry a text and a user-data text.
class Combo : public Label {
 public:
  struct Item {
    std::wstring text;
    std::wstring userData;
  };

  std::wstring_view className() const override { return L"Combo"; }
  AttributeError setAttribute(std::wstring_view name, std::wstring_view value) override;

  void addItem(std::wstring text, std::wstring userData);
  int itemCount() const { return static_cast<int>(items_.size()); }
  // Null when out of range.
  const Item* item(int index) const;
  int selectedIndex() const { return selected_; }
  // Selects item |index|, shows its text and sends "itemselect" on a change; false when out of
  // range.
  bool selectItem(int index);
  Size dropBoxSize() const { return dropBoxSize_; }

  // ---- Input (control_input.cpp): a click, Enter, Space, F4 or Alt+Down asks the host to open
  // the drop list and sends "dropdown"; Up/Down select the neighbouring item ----
  bool acceptsFocus() const override { return true; }

 protected:
  void activate(InputContext& context) override;
  bool keyDown(const InputEvent& event, InputContext& context) override;

 private:
  std::vector<Item> items_;
  int selected_ = -1;
  Size dropBoxSize_;
};

// Creates a control for a tag the toolkit does not know; null when the caller does not know it
// either.
using ControlBuilder = std::function<std::unique_ptr<Control>(std::wstring_view tag)>;

// The toolkit's own classes by tag; null for an unknown tag.
std::unique_ptr<Control> createBuiltinControl(std::wstring_view tag);

}  // namespace toolkit
