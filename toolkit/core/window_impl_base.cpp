#include "toolkit/core/window_impl_base.h"

#include <algorithm>
#include <utility>

#include "toolkit/text_table.h"

namespace toolkit {
namespace {

WindowHostFactory* gFactory = nullptr;

WindowDrawingMaker& drawingMaker() {
  static WindowDrawingMaker maker;
  return maker;
}

bool contains(const Rect& rect, Point point) {
  return point.x >= rect.left && point.x < rect.right && point.y >= rect.top &&
         point.y < rect.bottom;
}

std::wstring joinSkinPath(const std::wstring& folder, const std::wstring& file) {
  if (folder.empty()) return file;
  const wchar_t last = folder.back();
  return last == L'/' || last == L'\\' ? folder + file : folder + L"/" + file;
}

// Stand-in for measuring before a host exists: no text has an extent.
class NoMeasurer : public TextMeasurer {
 public:
  Size measure(std::wstring_view, int, int) const override { return {}; }
};

}  // namespace

void setWindowHostFactory(WindowHostFactory* factory) { gFactory = factory; }
WindowHostFactory* windowHostFactory() { return gFactory; }
void setWindowDrawingMaker(WindowDrawingMaker maker) { drawingMaker() = std::move(maker); }

WindowImplBase::WindowImplBase() = default;

WindowImplBase::~WindowImplBase() {
  detachFromOwner();
  for (WindowImplBase* owned : owned_) owned->owner_ = nullptr;
  router_.reset();
  host_.reset();
}

void WindowImplBase::detachFromOwner() {
  if (owner_ == nullptr) return;
  auto& siblings = owner_->owned_;
  siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
  owner_ = nullptr;
}

std::unique_ptr<Control> WindowImplBase::createControl(std::wstring_view /*tag*/) { return nullptr; }

void WindowImplBase::notify(std::wstring_view type, Control& sender) {
  if (type != L"click") return;
  if (sender.name() == L"closebtn") {
    close(kResultOk);
  } else if (sender.name() == L"minbtn") {
    minimize();
  }
}

bool WindowImplBase::create(WindowImplBase* owner, std::wstring_view title, const WindowStyle& style) {
  // Once per object: its posted closes are cancelled for good when its window goes.
  if (created_) return false;
  factory_ = windowHostFactory();
  if (factory_ == nullptr) return false;
  created_ = true;
  LoadedLayout layout = loadLayoutFile(
      joinSkinPath(skinFolder(), skinFile()),
      [this](std::wstring_view tag) { return createControl(tag); }, factory_->layoutFiles());
  if (!layout.ok()) {
    factory_->brokenLayout(*layout.error);
    return false;
  }
  owner_ = owner;
  if (owner != nullptr) owner->owned_.push_back(this);
  description_ = std::move(layout.window);
  fonts_.setLayoutFonts(description_.fonts);
  fonts_.setTextScale(factory_->textScale());
  root_ = std::move(layout.root);
  root_->setRightToLeft(isRightToLeftLanguage(currentLanguage()));
  root_->setNotifyHandler([this](std::wstring_view type, Control& sender) { notify(type, sender); });
  router_ = std::make_unique<InputRouter>(*root_, static_cast<InputContext&>(*this));
  clientSize_ = description_.size;
  result_ = 0;
  host_ = factory_->createHost(*this, owner != nullptr ? owner->host() : nullptr, style, clientSize_);
  if (host_ == nullptr) {
    detachFromOwner();
    return false;
  }
  if (drawingMaker()) drawing_ = drawingMaker()(*this);
  setTitle(title);
  relayout();
  const unsigned fontsBefore = fonts_.generation();
  inInitWindow_ = true;
  initWindow();
  inInitWindow_ = false;
  // Fonts registered in initWindow change what the texts measure.
  if (fonts_.generation() != fontsBefore && host_ != nullptr) relayout();
  return true;
}

void WindowImplBase::close(int result) {
  if (host_ == nullptr) return;
  // Posted like WM_CLOSE, so that the control whose handler closes the window is not
  // destroyed under it.
  const bool posted = poster_.postFunction([this, result] {
    WindowMessage message;
    message.type = MessageType::kClose;
    message.result = result;
    deliver(message);
  });
  if (!posted) {
    WindowMessage message;
    message.type = MessageType::kClose;
    message.result = result;
    deliver(message);
  }
}

int WindowImplBase::showModal() {
  if (host_ == nullptr || modal_ != nullptr) return -1;
  auto state = std::make_shared<ModalState>();
  modal_ = state;
  WindowImplBase* owner = owner_;
  if (owner != nullptr) owner->enable(false);
  show(ShowCommand::kShow);
  factory_->runModalLoop([state] { return state->ended; });
  if (!state->ended) {
    // The loop gave up: the window goes with -1 and the owner is enabled as it goes.
    WindowMessage message;
    message.type = MessageType::kClose;
    message.result = -1;
    deliver(message);
  }
  return state->result;
}

void WindowImplBase::destroyWindow() {
  if (host_ == nullptr) return;
  // Owned windows go first; each may delete itself on its final message.
  while (!owned_.empty()) {
    WindowImplBase* owned = owned_.back();
    owned->detachFromOwner();
    owned->destroyWindow();
  }
  WindowMessage destroy;
  destroy.type = MessageType::kDestroy;
  handleMessage(destroy);
  if (modal_ != nullptr) {
    modal_->ended = true;
    modal_->result = result_;
    // The owner is enabled before this window goes, so the focus can return to it.
    if (owner_ != nullptr) owner_->enable(true);
    modal_.reset();
  }
  detachFromOwner();
  router_->cancelPointer();
  poster_.cancel();
  host_.reset();
  drawing_.reset();
  onFinalMessage();
}

bool WindowImplBase::handleMessage(const WindowMessage& message) {
  switch (message.type) {
    case MessageType::kInput:
      routeInput(message.input);
      return true;
    case MessageType::kSize:
      clientSize_ = message.size;
      relayout();
      invalidate(Rect{0, 0, clientSize_.width, clientSize_.height});
      return true;
    case MessageType::kClose:
      result_ = message.result;
      destroyWindow();
      return true;
    case MessageType::kCloseRequest: {
      if (!enabled_) return true;
      WindowMessage close;
      close.type = MessageType::kClose;
      close.result = 0;
      return handleMessage(close);
    }
    case MessageType::kTimer:
    case MessageType::kDestroy:
      return false;
  }
  return false;
}

void WindowImplBase::deliver(const WindowMessage& message) {
  if (host_ == nullptr) return;
  handleMessage(message);
}

void WindowImplBase::routeInput(const InputEvent& event) {
  // A hidden or disabled window takes no input.
  if (!enabled_ || host_ == nullptr || !host_->isVisible() || host_->isMinimized()) return;
  const bool pointer = event.type == InputType::kPointerMove ||
                       event.type == InputType::kPointerDown ||
                       event.type == InputType::kPointerUp || event.type == InputType::kWheel;
  if (pointer) relayout();
  if (event.type == InputType::kKeyDown) {
    if (preFilterKey(event)) return;
    if (router_->handle(event)) return;
    if (event.key == Key::kEscape && event.modifiers == kNoModifier && closesOnEscape()) {
      close(kResultCancel);
    }
    return;
  }
  router_->handle(event);
  // Handlers close windows with close(), which is posted: the window is still here.
  updatePointerLooks();
}

void WindowImplBase::updatePointerLooks() {
  std::wstring tip = router_->toolTip();
  if (tip != shownToolTip_) {
    shownToolTip_ = tip;
    host_->setToolTip(shownToolTip_);
  }
  const Cursor cursor = router_->cursor();
  if (cursor != shownCursor_) {
    shownCursor_ = cursor;
    host_->setCursor(cursor);
  }
}

void WindowImplBase::dropListChosen(Combo& combo, int index) {
  // A choice for a combo that was disabled or hidden while its list was open is dropped.
  if (host_ == nullptr || index < 0 || !enabled_ || !combo.takesInput()) return;
  if (combo.selectItem(index)) invalidate(combo.rect());
}

// ---- Window operations ----

void WindowImplBase::show(ShowCommand command) {
  if (host_ == nullptr) return;
  host_->show(command);
  if (command == ShowCommand::kHide || command == ShowCommand::kMinimize) {
    router_->cancelPointer();
    updatePointerLooks();
  }
}

void WindowImplBase::showWindow(bool visible, bool takeFocus) {
  show(!visible ? ShowCommand::kHide : takeFocus ? ShowCommand::kShow : ShowCommand::kShowNoActivate);
}

void WindowImplBase::bringToTop() {
  if (host_ != nullptr) host_->bringToTop();
}

void WindowImplBase::bringToFront() {
  if (host_ != nullptr) host_->bringToFront();
}

void WindowImplBase::setTopmost(bool topmost) {
  if (host_ != nullptr) host_->setTopmost(topmost);
}

void WindowImplBase::centerWindow() {
  if (host_ == nullptr) return;
  const Rect frame = host_->frame();
  const Rect work = host_->workArea();
  const bool onOwner = owner_ != nullptr && owner_->host_ != nullptr && owner_->host_->isVisible() &&
                       !owner_->host_->isMinimized();
  const Rect around = onOwner ? owner_->host_->frame() : work;
  int left = around.left + (around.width() - frame.width()) / 2;
  int top = around.top + (around.height() - frame.height()) / 2;
  // Inside the work area; a window larger than it keeps its top-left corner there.
  left = std::max(work.left, std::min(left, work.right - frame.width()));
  top = std::max(work.top, std::min(top, work.bottom - frame.height()));
  host_->setFrame(Rect{left, top, left + frame.width(), top + frame.height()});
}

void WindowImplBase::enable(bool enabled) {
  enabled_ = enabled;
  if (host_ == nullptr) return;
  host_->setEnabled(enabled);
  if (!enabled) {
    router_->cancelPointer();
    updatePointerLooks();
  }
}

void WindowImplBase::setTitle(std::wstring_view title) {
  title_ = std::wstring(title);
  if (host_ != nullptr) host_->setTitle(title_);
}

void WindowImplBase::setIcon(int resourceId) {
  if (host_ != nullptr) host_->setIcon(resourceId);
}

// ---- Layout and controls ----

Control* WindowImplBase::findControl(std::wstring_view name) const {
  if (root_ == nullptr) return nullptr;
  if (Container* container = root_->asContainer()) return container->find(name);
  return root_->name() == name ? root_.get() : nullptr;
}

void WindowImplBase::relayout() {
  if (root_ == nullptr) return;
  fitContent();
  root_->arrange(Rect{0, 0, clientSize_.width, clientSize_.height}, measurer());
}

void WindowImplBase::fitContent() {
  const Container* top = root_->asContainer();
  if (top == nullptr || host_ == nullptr) return;
  const Size need = top->contentSize(clientSize_, measurer());
  // Within the work area: a window larger than the screen would hide its own buttons.
  const Rect work = host_->workArea();
  auto grown = [](int now, int wanted, int limit) {
    if (wanted <= now) return now;
    return limit > 0 ? std::max(now, std::min(wanted, limit)) : wanted;
  };
  const Size size{grown(clientSize_.width, need.width, work.width()),
                  grown(clientSize_.height, need.height, work.height())};
  if (size.width == clientSize_.width && size.height == clientSize_.height) return;
  clientSize_ = size;
  const Rect frame = host_->frame();
  host_->setFrame(Rect{frame.left, frame.top, frame.left + size.width, frame.top + size.height});
}

WindowArea WindowImplBase::areaAt(Point point) const {
  const Rect& box = description_.sizeBox;
  const int width = clientSize_.width;
  const int height = clientSize_.height;
  const bool left = point.x < box.left;
  const bool right = point.x >= width - box.right;
  const bool top = point.y < box.top;
  const bool bottom = point.y >= height - box.bottom;
  if (top && left) return WindowArea::kTopLeft;
  if (top && right) return WindowArea::kTopRight;
  if (bottom && left) return WindowArea::kBottomLeft;
  if (bottom && right) return WindowArea::kBottomRight;
  if (left) return WindowArea::kLeft;
  if (right) return WindowArea::kRight;
  if (top) return WindowArea::kTop;
  if (bottom) return WindowArea::kBottom;
  // The caption is drawn for left-to-right; a mirrored window has it at the other side.
  Rect caption = description_.caption;
  if (root_ != nullptr && root_->rightToLeft()) {
    caption = Rect{width - caption.right, caption.top, width - caption.left, caption.bottom};
  }
  if (root_ != nullptr && contains(caption, point)) {
    // Buttons, options, edits and the like on the caption stay usable.
    for (Control* c = InputRouter::hitTest(*root_, point); c != nullptr; c = c->parent()) {
      if (c->acceptsFocus()) return WindowArea::kClient;
    }
    return WindowArea::kCaption;
  }
  return WindowArea::kClient;
}

AccessibleContext WindowImplBase::accessibleContext() const {
  return AccessibleContext{router_ != nullptr ? router_->focused() : nullptr, defaultControl()};
}

bool WindowImplBase::textInputActive() const {
  const Control* focused = router_ != nullptr ? router_->focused() : nullptr;
  return enabled_ && focused != nullptr && focused->takesText() && focused->takesInput();
}

Rect WindowImplBase::textInputArea() const {
  return textInputActive() ? router_->focused()->rect() : Rect{};
}

std::wstring WindowImplBase::toolTip() const { return router_ != nullptr ? router_->toolTip() : L""; }

// ---- Timers ----

bool WindowImplBase::setTimer(uint32_t id, uint32_t periodMs) {
  return host_ != nullptr && periodMs > 0 && host_->startTimer(id, periodMs);
}

void WindowImplBase::killTimer(uint32_t id) {
  if (host_ != nullptr) host_->stopTimer(id);
}

// ---- Fonts ----

void WindowImplBase::addFont(FontDescription font) {
  fonts_.addShared(font);
  fontsChanged();
}

void WindowImplBase::setDefaultFont(FontDescription font) {
  font.isDefault = true;
  font.id = -1;
  fonts_.addShared(font);
  fontsChanged();
}

void WindowImplBase::setTextScale(double scale) {
  const unsigned before = fonts_.generation();
  fonts_.setTextScale(scale);
  if (fonts_.generation() != before) fontsChanged();
}

void WindowImplBase::fontsChanged() {
  if (host_ == nullptr || inInitWindow_) return;
  relayout();
  invalidate(Rect{0, 0, clientSize_.width, clientSize_.height});
}

const FontDescription* WindowImplBase::font(int id) const { return &fonts_.font(id); }

// ---- InputContext ----

const TextMeasurer& WindowImplBase::measurer() const {
  static const NoMeasurer kNone;
  // The painter's measurer with this window's fonts, at the scale the window is drawn at,
  // through the window's cache: every layout pass measures every text that can grow its control.
  const TextMeasurer& inner = drawing_ != nullptr ? drawing_->measurer(scaleFactor())
                              : factory_ != nullptr ? factory_->measurer()
                                                    : kNone;
  measureCache_.use(inner, fonts_.generation(), scaleFactor());
  return measureCache_;
}

std::wstring WindowImplBase::clipboardText() { return host_ != nullptr ? host_->clipboardText() : L""; }

void WindowImplBase::setClipboardText(std::wstring_view text) {
  if (host_ != nullptr) host_->setClipboardText(text);
}

void WindowImplBase::openDropList(Combo& combo) {
  if (host_ != nullptr) host_->openDropList(combo);
}

void WindowImplBase::invalidate(const Rect& area) {
  if (host_ != nullptr) host_->invalidate(area);
}

}  // namespace toolkit
