#include "toolkit/core/control_input.h"

#include <algorithm>
#include <vector>

namespace toolkit {
namespace {

bool contains(const Rect& rect, Point point) {
  return point.x >= rect.left && point.x < rect.right && point.y >= rect.top &&
         point.y < rect.bottom;
}

bool shortcut(const InputEvent& event, Key key) {
  return event.key == key && (event.modifiers & (kControl | kAlt)) == kControl;
}

template <class F>
void forEachInTreeOrder(Control& control, F&& f) {
  f(control);
  if (Container* container = control.asContainer()) {
    for (int i = 0; i < container->count(); ++i) forEachInTreeOrder(*container->childAt(i), f);
  }
}

Control* hitBelow(Control& control, Point point) {
  if (!control.visible() || !contains(control.rect(), point)) return nullptr;
  if (Container* container = control.asContainer()) {
    for (int i = container->count(); i-- > 0;) {
      if (Control* hit = hitBelow(*container->childAt(i), point)) return hit;
    }
  }
  return &control;
}

// What a single-line edit keeps of inserted text: no control characters, nothing after a line
// break.
std::wstring singleLine(std::wstring_view text) {
  std::wstring out;
  for (wchar_t c : text) {
    if (c == L'\r' || c == L'\n') break;
    if (c < 0x20 || c == 0x7F) continue;
    out.push_back(c);
  }
  return out;
}

}  // namespace

// ---- Control ----

bool Control::takesInput() const {
  for (const Control* c = this; c != nullptr; c = c->parent()) {
    if (!c->visible() || !c->enabled()) return false;
  }
  return true;
}

// ---- InputRouter ----

Control* InputRouter::hitTest(Control& root, Point point) {
  Control* hit = hitBelow(root, point);
  // A disabled control (or one in a disabled container) takes the press away from what lies
  // below it, and does nothing with it.
  return hit != nullptr && hit->takesInput() ? hit : nullptr;
}

void InputRouter::setHot(Control* control) {
  if (control == hot_) return;
  if (hot_ != nullptr) {
    hot_->hot_ = false;
    context_.invalidate(hot_->rect());
  }
  hot_ = control;
  if (hot_ != nullptr) {
    hot_->hot_ = true;
    context_.invalidate(hot_->rect());
  }
}

void InputRouter::setPushed(Control* control, bool pushed) {
  if (control == nullptr || control->pushed_ == pushed) return;
  control->pushed_ = pushed;
  context_.invalidate(control->rect());
}

void InputRouter::cancelPointer() {
  setPushed(pressed_, false);
  pressed_ = nullptr;
  setHot(nullptr);
}

void InputRouter::pointerMove(Point point) {
  if (pressed_ != nullptr) {
    // While a press is held only the pressed control can be hot, and only over itself.
    const bool over = pressed_->takesInput() && contains(pressed_->rect(), point);
    setPushed(pressed_, over);
    setHot(over ? pressed_ : nullptr);
    return;
  }
  setHot(hitTest(root_, point));
}

bool InputRouter::setFocus(Control* control, bool byKeyboard) {
  if (control != nullptr && (!control->acceptsFocus() || !control->takesInput())) return false;
  if (control == focused_) return true;
  Control* old = focused_;
  focused_ = control;
  if (old != nullptr) {
    old->focused_ = false;
    context_.invalidate(old->rect());
    old->focusChanged(false, byKeyboard, context_);
    old->notify(L"killfocus");
  }
  // A "killfocus" handler may have moved the focus itself; that choice stands.
  if (focused_ != control) return focused_ == control;
  if (control != nullptr) {
    control->focused_ = true;
    control->focusVisible_ = byKeyboard || keyboardUsed_;
    context_.invalidate(control->rect());
    control->focusChanged(true, byKeyboard, context_);
    control->notify(L"setfocus");
  }
  return true;
}

bool InputRouter::activate(Control& control) {
  if (!control.takesInput()) return false;
  control.activate(context_);
  context_.invalidate(control.rect());
  return true;
}

void InputRouter::dropFocusIfGone() {
  if (focused_ != nullptr && !focused_->takesInput()) setFocus(nullptr);
}

bool InputRouter::moveFocus(bool forward) {
  std::vector<Control*> order;
  forEachInTreeOrder(root_, [&](Control& c) {
    if (c.acceptsFocus() && c.takesInput()) order.push_back(&c);
  });
  if (order.empty()) return false;
  auto at = std::find(order.begin(), order.end(), focused_);
  size_t next;
  if (at == order.end()) {
    next = forward ? 0 : order.size() - 1;
  } else {
    const size_t index = static_cast<size_t>(at - order.begin());
    next = forward ? (index + 1) % order.size() : (index + order.size() - 1) % order.size();
  }
  return setFocus(order[next], true);
}

std::wstring InputRouter::toolTip() const {
  for (const Control* c = hot_; c != nullptr; c = c->parent()) {
    if (!c->toolTip().empty()) return c->toolTip();
  }
  return {};
}

Cursor InputRouter::cursor() const { return hot_ != nullptr ? hot_->cursor() : Cursor::kArrow; }

bool InputRouter::handle(const InputEvent& event) {
  switch (event.type) {
    case InputType::kPointerMove: {
      pointerMove(event.point);
      if (pressed_ != nullptr && pressed_->takesInput()) pressed_->pointerInput(event, context_);
      return true;
    }
    case InputType::kPointerLeave:
      if (pressed_ != nullptr) {
        setPushed(pressed_, false);
        setHot(nullptr);
      } else {
        setHot(nullptr);
      }
      return true;
    case InputType::kPointerDown: {
      cancelPointer();
      Control* hit = hitTest(root_, event.point);
      if (hit == nullptr) return false;
      pressed_ = hit;
      setPushed(hit, true);
      setHot(hit);
      // The press gives the focus to the nearest control that takes it, or clears it (an edit
      // then loses the focus and says so).
      Control* target = hit;
      while (target != nullptr && !target->acceptsFocus()) target = target->parent();
      setFocus(target);
      // A focus handler may have hidden or disabled the pressed control.
      if (pressed_ == hit && hit->takesInput()) hit->pointerInput(event, context_);
      return true;
    }
    case InputType::kPointerUp: {
      Control* pressed = pressed_;
      if (pressed == nullptr) {
        pointerMove(event.point);
        return false;
      }
      const bool click = pressed->takesInput() && contains(pressed->rect(), event.point);
      setPushed(pressed, false);
      pressed_ = nullptr;
      pointerMove(event.point);
      // Last: a "click" handler may close the window and everything with it.
      if (click) pressed->activate(context_);
      return click;
    }
    case InputType::kWheel: {
      for (Control* c = hitTest(root_, event.point); c != nullptr; c = c->parent()) {
        if (c->pointerInput(event, context_)) return true;
      }
      return false;
    }
    case InputType::kKeyDown: {
      dropFocusIfGone();
      if (!keyboardUsed_ || (focused_ != nullptr && !focused_->focusVisible_)) {
        keyboardUsed_ = true;
        if (focused_ != nullptr) {
          focused_->focusVisible_ = true;
          context_.invalidate(focused_->rect());
        }
      }
      if (event.key == Key::kTab && (event.modifiers & (kControl | kAlt)) == 0) {
        return moveFocus((event.modifiers & kShift) == 0);
      }
      return focused_ != nullptr && focused_->keyDown(event, context_);
    }
    case InputType::kText:
      dropFocusIfGone();
      return focused_ != nullptr && focused_->textInput(event.text, context_);
    case InputType::kFocusIn:
      return true;
    case InputType::kFocusOut:
      // The press ends without a click when another window takes the focus.
      cancelPointer();
      return true;
  }
  return false;
}

// ---- Button, Option ----

void Button::activate(InputContext& /*context*/) { notify(L"click"); }

bool Button::keyDown(const InputEvent& event, InputContext& context) {
  if ((event.key == Key::kEnter || event.key == Key::kSpace) && event.modifiers == kNoModifier) {
    activate(context);
    return true;
  }
  return false;
}

void Option::activate(InputContext& context) {
  Button::activate(context);
  // A radio button only selects; a check box toggles.
  setSelected(group().empty() ? !selected() : true);
}

// ---- Combo ----

void Combo::activate(InputContext& context) {
  context.openDropList(*this);
  notify(L"dropdown");
}

bool Combo::keyDown(const InputEvent& event, InputContext& context) {
  const bool alt = (event.modifiers & kAlt) != 0;
  if (event.key == Key::kF4 || (alt && event.key == Key::kDown) ||
      (!alt && (event.key == Key::kEnter || event.key == Key::kSpace))) {
    activate(context);
    return true;
  }
  if (event.key == Key::kUp || event.key == Key::kDown) {
    const int next = selectedIndex() + (event.key == Key::kUp ? -1 : 1);
    if (next >= 0 && next < itemCount()) selectItem(next);
    context.invalidate(rect());
    return true;
  }
  return false;
}

// ---- Edit ----

int Edit::caret() const { return std::clamp(caret_, 0, static_cast<int>(text().size())); }

int Edit::selectionStart() const {
  return std::min(caret(), std::clamp(anchor_, 0, static_cast<int>(text().size())));
}

int Edit::selectionEnd() const {
  return std::max(caret(), std::clamp(anchor_, 0, static_cast<int>(text().size())));
}

std::wstring Edit::selectedText() const {
  return text().substr(static_cast<size_t>(selectionStart()),
                       static_cast<size_t>(selectionEnd() - selectionStart()));
}

void Edit::setSelection(int anchor, int caret) {
  const int length = static_cast<int>(text().size());
  anchor_ = std::clamp(anchor, 0, length);
  caret_ = std::clamp(caret, 0, length);
}

void Edit::replaceSelection(std::wstring_view inserted, InputContext& context) {
  const int start = selectionStart();
  const int end = selectionEnd();
  std::wstring add = singleLine(inserted);
  if (maxChars() > 0) {
    const int room = std::max(0, maxChars() - (static_cast<int>(text().size()) - (end - start)));
    if (static_cast<int>(add.size()) > room) add.resize(static_cast<size_t>(room));
  }
  if (add.empty() && start == end) return;
  std::wstring next = text();
  next.replace(static_cast<size_t>(start), static_cast<size_t>(end - start), add);
  setText(std::move(next));
  const int at = start + static_cast<int>(add.size());
  setSelection(at, at);
  keepCaretVisible(context.measurer());
  context.invalidate(rect());
  notify(L"textchanged");
}

bool Edit::keyDown(const InputEvent& event, InputContext& context) {
  const bool shift = (event.modifiers & kShift) != 0;
  const int length = static_cast<int>(text().size());
  auto moveTo = [&](int position) {
    setSelection(shift ? anchor_ : position, position);
    keepCaretVisible(context.measurer());
    context.invalidate(rect());
    return true;
  };
  if ((event.modifiers & (kControl | kAlt)) == 0) {
    switch (event.key) {
      case Key::kLeft:
        // Without Shift an arrow first collapses a selection to its edge.
        if (!shift && selectionStart() != selectionEnd()) return moveTo(selectionStart());
        return moveTo(std::max(0, caret() - 1));
      case Key::kRight:
        if (!shift && selectionStart() != selectionEnd()) return moveTo(selectionEnd());
        return moveTo(std::min(length, caret() + 1));
      case Key::kHome: return moveTo(0);
      case Key::kEnd: return moveTo(length);
      case Key::kBackspace:
      case Key::kDelete:
        if (readOnly()) return true;
        if (selectionStart() == selectionEnd()) {
          const int c = caret();
          if (event.key == Key::kBackspace ? c == 0 : c == length) return true;
          setSelection(event.key == Key::kBackspace ? c - 1 : c + 1, c);
        }
        replaceSelection({}, context);
        return true;
      case Key::kEnter:
        notify(L"return");
        return true;
      case Key::kSpace:
        return true;  // the space itself arrives as text
      default:
        return false;
    }
  }
  if (shortcut(event, Key::kA)) {
    setSelection(0, length);
    keepCaretVisible(context.measurer());
    context.invalidate(rect());
    return true;
  }
  // A password is never copied out.
  if (shortcut(event, Key::kC)) {
    if (!password() && selectionStart() != selectionEnd()) context.setClipboardText(selectedText());
    return true;
  }
  if (shortcut(event, Key::kX)) {
    if (!password() && !readOnly() && selectionStart() != selectionEnd()) {
      context.setClipboardText(selectedText());
      replaceSelection({}, context);
    }
    return true;
  }
  if (shortcut(event, Key::kV)) {
    if (!readOnly()) replaceSelection(context.clipboardText(), context);
    return true;
  }
  return false;
}

bool Edit::textInput(std::wstring_view text, InputContext& context) {
  if (!readOnly()) replaceSelection(text, context);
  return true;
}

std::wstring Edit::shownText() const {
  return password() ? std::wstring(text().size(), kPasswordChar) : text();
}

void Edit::arrange(const Rect& rect, const TextMeasurer& measurer) {
  const bool resized = rect.width() != rect_.width();
  Label::arrange(rect, measurer);
  if (text() != placedText_) {
    const int length = static_cast<int>(text().size());
    setSelection(length, length);
  } else if (!resized) {
    return;
  }
  keepCaretVisible(measurer);
}

void Edit::keepCaretVisible(const TextMeasurer& measurer) {
  placedText_ = text();
  const std::wstring shown = shownText();
  const int view = std::max(0, rect().width() - textPadding().left - textPadding().right);
  const int full = measurer.measure(shown, font(), 0).width;
  const int at = measurer.measure(std::wstring_view(shown).substr(0, static_cast<size_t>(caret())),
                                  font(), 0).width;
  if (at - scrollX_ > view) scrollX_ = at - view;
  if (at < scrollX_) scrollX_ = at;
  // No empty room after the end of a text scrolled left.
  scrollX_ = std::clamp(scrollX_, 0, std::max(0, full - view));
}

int Edit::caretAt(int x, const TextMeasurer& measurer) const {
  const std::wstring shown = shownText();
  const int offset = x - (rect().left + textPadding().left) + scrollX_;
  int previous = 0;
  for (size_t i = 1; i <= shown.size(); ++i) {
    const int width = measurer.measure(std::wstring_view(shown).substr(0, i), font(), 0).width;
    // The caret goes to the nearer edge of the character under the pointer.
    if (offset < width) return static_cast<int>(offset - previous < width - offset ? i - 1 : i);
    previous = width;
  }
  return static_cast<int>(shown.size());
}

bool Edit::pointerInput(const InputEvent& event, InputContext& context) {
  if (event.type == InputType::kWheel) return false;
  const int at = caretAt(event.point.x, context.measurer());
  // A press places the caret (Shift extends the selection); a drag extends it.
  const bool extend = event.type == InputType::kPointerMove || (event.modifiers & kShift) != 0;
  setSelection(extend ? anchor_ : at, at);
  keepCaretVisible(context.measurer());
  context.invalidate(rect());
  return true;
}

void Edit::focusChanged(bool focused, bool byKeyboard, InputContext& context) {
  // Tabbing into an edit selects its text, as a caller replacing it expects.
  if (focused && byKeyboard) setSelection(0, static_cast<int>(text().size()));
  keepCaretVisible(context.measurer());
  context.invalidate(rect());
}

// ---- RichEdit ----

bool RichEdit::scrollBy(int pixels, const TextMeasurer& measurer) {
  const int view = rect().height();
  const Size content = measurer.measure(text(), font(), wordBreak() ? rect().width() : 0);
  const int range = std::max(0, content.height - view);
  const int next = std::clamp(scrollY_ + pixels, 0, range);
  if (next == scrollY_) return false;
  scrollY_ = next;
  return true;
}

bool RichEdit::keyDown(const InputEvent& event, InputContext& context) {
  if ((event.modifiers & (kControl | kAlt)) != 0) return false;
  const int line = std::max(1, context.measurer().measure(L"X", font(), 0).height);
  const int page = std::max(line, rect().height() - line);
  int pixels;
  switch (event.key) {
    case Key::kUp: pixels = -line; break;
    case Key::kDown: pixels = line; break;
    case Key::kPageUp: pixels = -page; break;
    case Key::kPageDown: pixels = page; break;
    case Key::kHome: pixels = -kMaxExtent * 100; break;
    case Key::kEnd: pixels = kMaxExtent * 100; break;
    default: return false;
  }
  if (scrollBy(pixels, context.measurer())) context.invalidate(rect());
  return true;
}

bool RichEdit::pointerInput(const InputEvent& event, InputContext& context) {
  if (event.type != InputType::kWheel) return false;
  // Three lines a wheel step, as desktops scroll text.
  const int line = std::max(1, context.measurer().measure(L"X", font(), 0).height);
  if (scrollBy(-event.wheelSteps * 3 * line, context.measurer())) context.invalidate(rect());
  return true;
}

}  // namespace toolkit
