#include "ui/msg/message_box_window.h"

#include <algorithm>
#include <map>

#include "toolkit/core/label_markup.h"
#include "ui/msg/selection_ui.h"

namespace msg {

std::set<std::wstring>& openBoxes() {
  static std::set<std::wstring> boxes;
  return boxes;
}

namespace {
std::vector<MessageBoxWindow*>& boxesOnScreen() {
  static std::vector<MessageBoxWindow*> boxes;
  return boxes;
}

std::map<toolkit::WindowImplBase*, int>& holds() {
  static std::map<toolkit::WindowImplBase*, int> counts;
  return counts;
}
}  // namespace

void holdParent(toolkit::WindowImplBase* parent) {
  if (parent == nullptr) return;
  holds()[parent] += 1;
  parent->enable(false);
}

void dropParentHold(toolkit::WindowImplBase* parent) {
  auto it = holds().find(parent);
  if (it != holds().end() && --it->second <= 0) holds().erase(it);
}

void releaseParentHold(toolkit::WindowImplBase* parent) {
  if (parent == nullptr) return;
  dropParentHold(parent);
  if (holds().count(parent) == 0) parent->enable(true);
}

MessageBoxWindow::MessageBoxWindow(toolkit::WindowImplBase* parent, std::wstring layout)
    : parent_(parent), layout_(std::move(layout)) {
  holdParent(parent_);
  boxesOnScreen().push_back(this);
}

const std::vector<MessageBoxWindow*>& MessageBoxWindow::onScreen() { return boxesOnScreen(); }

MessageBoxWindow::~MessageBoxWindow() {
  std::erase(boxesOnScreen(), this);
  if (keyed_) openBoxes().erase(text_);
  // Gone with its parent (owned windows go first), never closed: the parent is going too.
  if (!parentReleased_) dropParentHold(parent_);
}

void MessageBoxWindow::initWindow() {
  setDefaultFont(toolkit::FontDescription{.id = -1, .face = L"微软雅黑", .size = 12, .isDefault = true});
  const int sizes[] = {12, 14, 16, 18};
  for (int id = 0; id < 4; ++id) addFont(toolkit::FontDescription{.id = id, .face = L"微软雅黑", .size = sizes[id]});
}

void MessageBoxWindow::releaseParent() {
  if (parentReleased_) return;
  parentReleased_ = true;
  releaseParentHold(parent_);
}

void MessageBoxWindow::notify(std::wstring_view type, toolkit::Control& sender) {
  if (type == L"click" && sender.name() == L"closebtn") {
    releaseParent();
    if (onClose_) onClose_();
  } else if (type == L"click" && sender.className() == L"Selection") {
    releaseParent();
    show(toolkit::ShowCommand::kHide);
    // Copied: the action may open another box, and the button goes with this one.
    const std::function<void()> onClick = static_cast<CSelectionUI&>(sender).spec().onClick;
    if (onClick) onClick();
    close(toolkit::kResultOk);
    return;
  }
  WindowImplBase::notify(type, sender);
}

bool MessageBoxWindow::handleMessage(const toolkit::WindowMessage& message) {
  // The window manager's close is the box's own close button.
  if (message.type == toolkit::MessageType::kCloseRequest) {
    closeByCloseButton();
    return true;
  }
  if (message.type == toolkit::MessageType::kClose) releaseParent();
  return WindowImplBase::handleMessage(message);
}

bool MessageBoxWindow::preFilterKey(const toolkit::InputEvent& event) {
  if (event.key != toolkit::Key::kEscape || event.modifiers != toolkit::kNoModifier) return false;
  closeByCloseButton();
  return true;
}

void MessageBoxWindow::closeByCloseButton() {
  if (toolkit::Control* button = findControl(L"closebtn")) {
    notify(L"click", *button);
  } else {
    releaseParent();
    if (onClose_) onClose_();
    close(toolkit::kResultOk);
  }
}

void MessageBoxWindow::onFinalMessage() { delete this; }

void MessageBoxWindow::setIcon(const std::wstring& image) {
  toolkit::Control* icon = findControl(L"msgiconimage");
  if (image.empty()) {
    if (icon != nullptr) icon->setVisible(false);
    if (toolkit::Control* text = findControl(L"descriptlabel")) text->setAttribute(L"width", L"340");
  } else if (icon != nullptr) {
    icon->setAttribute(L"bkimage", image);
  }
  relayout();
}

void MessageBoxWindow::setTitle(const std::wstring& text) {
  if (toolkit::Control* title = findControl(L"titlelabel")) title->setText(text);
  // Also the window's own title: what the window manager and screen readers name the box by.
  WindowImplBase::setTitle(text);
  relayout();
}

void MessageBoxWindow::setText(const std::wstring& text) {
  if (auto* label = findControl<toolkit::Label>(L"descriptlabel")) {
    label->setAttribute(L"align", L"center");
    label->setAttribute(L"valign", L"vcenter");
    label->setAttribute(L"multiline", L"true");
    label->setShowHtml(true);
    label->setText(text);
    relayout();
  }
  text_ = text;
  keyed_ = true;
}

void MessageBoxWindow::setCloseCallback(std::function<void()> onClose) { onClose_ = std::move(onClose); }

void MessageBoxWindow::addButton(const ButtonSpec& spec) {
  toolkit::Control* bar = findControl(L"bottombar");
  toolkit::Container* row = bar != nullptr ? bar->asContainer() : nullptr;
  if (row == nullptr) return;
  row->insert(row->count() - 1, std::make_unique<CSelectionUI>(spec));
  relayout();
  input().setFocus(defaultButton());
}

toolkit::Control* MessageBoxWindow::defaultControl() const { return defaultButton(); }

std::wstring MessageBoxWindow::accessibleDescription() const { return toolkit::parseLabelMarkup(text_).text; }

CSelectionUI* MessageBoxWindow::defaultButton() const {
  toolkit::Control* bar = findControl(L"bottombar");
  toolkit::Container* row = bar != nullptr ? bar->asContainer() : nullptr;
  CSelectionUI* first = nullptr;
  for (int i = 0; row != nullptr && i < row->count(); ++i) {
    auto* button = dynamic_cast<CSelectionUI*>(row->childAt(i));
    if (button == nullptr) continue;
    if (!button->spec().secondary) return button;
    if (first == nullptr) first = button;
  }
  return first;
}

}  // namespace msg
