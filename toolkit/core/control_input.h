// Input routing for one window's control tree: hit testing, the hot, pushed and focused controls,
// clicks, keyboard focus moves, and what the controls do with keys, text and the wheel. The
// window hands every event to its router; what the controls need of the window (text measuring,
// the clipboard, the drop list of a combo, repainting) comes through an InputContext.
#pragma once

#include <string>
#include <string_view>

#include "toolkit/core/control.h"
#include "toolkit/core/input_event.h"
#include "toolkit/core/text_measurer.h"

namespace toolkit {

class InputContext {
 public:
  virtual ~InputContext() = default;
  virtual const TextMeasurer& measurer() const = 0;
  virtual std::wstring clipboardText() = 0;
  virtual void setClipboardText(std::wstring_view text) = 0;
  // Shows the drop list of |combo|; the choice comes back as Combo::selectItem.
  virtual void openDropList(Combo& combo) = 0;
  // |area| must be painted again.
  virtual void invalidate(const Rect& area) = 0;
};

class InputRouter {
 public:
  // The router never outlives |root| or |context|.
  InputRouter(Control& root, InputContext& context) : root_(root), context_(context) {}
  InputRouter(const InputRouter&) = delete;
  InputRouter& operator=(const InputRouter&) = delete;

  // Routes one event; true when a control used it. A key nobody used (Escape, Enter away from
  // a button) is the window's to act on.
  bool handle(const InputEvent& event);

  // The topmost visible control at |point|: later children lie above earlier ones (the painting
  // order), floating children included; a control is searched only inside its parent. Null when
  // |point| is outside the root, or when that control does not take input (it is disabled or in
  // a disabled container): a disabled control passes nothing on to what lies below it.
  static Control* hitTest(Control& root, Point point);

  Control* hot() const { return hot_; }
  // The control holding the press (between a press and its release), pushed or not.
  Control* pressed() const { return pressed_; }
  Control* focused() const { return focused_; }

  // Moves the keyboard focus ("killfocus" to the old control, then "setfocus" to the new one);
  // null clears it. A control that does not accept the focus or take input is refused.
  bool setFocus(Control* control, bool byKeyboard = false);
  // Tab (forward) or Shift+Tab: the next control in tree order that accepts the focus and takes
  // input, wrapping around; false when there is none.
  bool moveFocus(bool forward);

  // Activates |control| as a click on it would (assistive technology's "click"); refused (false)
  // when it does not take input.
  bool activate(Control& control);

  // The tool tip of the hot control, or of the nearest control above it that has one.
  std::wstring toolTip() const;
  Cursor cursor() const;

  // Forgets the hot control and an unreleased press without a click (the window was hidden,
  // disabled or lost the pointer).
  void cancelPointer();

 private:
  void pointerMove(Point point);
  void setHot(Control* control);
  void setPushed(Control* control, bool pushed);
  void dropFocusIfGone();

  Control& root_;
  InputContext& context_;
  Control* hot_ = nullptr;
  Control* pressed_ = nullptr;
  Control* focused_ = nullptr;
  bool keyboardUsed_ = false;  // a key was pressed in the window: focus rings show
};

}  // namespace toolkit
