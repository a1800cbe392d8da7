#include "toolkit/headless/headless_host.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "utility/base/main_loop.h"
#include "utility/base/strings.h"

namespace toolkit {
namespace {

HeadlessRenderer& renderer() {
  static HeadlessRenderer instance;
  return instance;
}

WindowMessage inputMessage(const InputEvent& event) {
  WindowMessage message;
  message.type = MessageType::kInput;
  message.input = event;
  return message;
}

}  // namespace

void setHeadlessRenderer(HeadlessRenderer render) { renderer() = std::move(render); }

// ---- HeadlessWindow ----

HeadlessWindow::HeadlessWindow(HeadlessDesktop& desktop, WindowImplBase& window,
                               HeadlessWindow* owner, const WindowStyle& style, Size clientSize)
    : desktop_(desktop), window_(window), owner_(owner), style_(style), topmost_(style.topmost) {
  const Rect& work = desktop.workArea();
  frame_ = Rect{work.left, work.top, work.left + clientSize.width, work.top + clientSize.height};
}

HeadlessWindow::~HeadlessWindow() {
  timers_.clear();
  desktop_.removed(this);
}

void HeadlessWindow::show(ShowCommand command) {
  switch (command) {
    case ShowCommand::kHide:
      visible_ = false;
      if (desktop_.active_ == this) desktop_.activate(nullptr);
      break;
    case ShowCommand::kShow:
    case ShowCommand::kRestore:
      visible_ = true;
      minimized_ = false;
      desktop_.raise(this);
      desktop_.activate(this);
      break;
    case ShowCommand::kShowNoActivate:
      visible_ = true;
      desktop_.raise(this);
      break;
    case ShowCommand::kMinimize:
      visible_ = true;
      minimized_ = true;
      if (desktop_.active_ == this) desktop_.activate(nullptr);
      break;
  }
}

void HeadlessWindow::bringToTop() {
  desktop_.raise(this);
  if (visible_ && !minimized_) desktop_.activate(this);
}

void HeadlessWindow::bringToFront() {
  minimized_ = false;
  desktop_.raise(this);
  if (visible_) desktop_.activate(this);
}

void HeadlessWindow::setFrame(const Rect& frame) { frame_ = frame; }

Rect HeadlessWindow::workArea() const { return desktop_.workArea(); }

int HeadlessWindow::scaleFactor() const { return desktop_.scaleFactor; }

bool HeadlessWindow::active() const { return desktop_.activeWindow() == this; }

bool HeadlessWindow::startTimer(uint32_t id, uint32_t periodMs) {
  auto timer = std::make_unique<utility::TaskTimer>();
  WindowImplBase* window = &window_;
  const bool started = timer->start(periodMs, makeRunable([window, id] {
    WindowMessage message;
    message.type = MessageType::kTimer;
    message.timerId = id;
    window->deliver(message);
  }));
  if (!started) {
    timers_.erase(id);
    return false;
  }
  timers_[id] = std::move(timer);  // a running timer of this id is replaced, and so stopped
  return true;
}

void HeadlessWindow::stopTimer(uint32_t id) { timers_.erase(id); }

std::wstring HeadlessWindow::clipboardText() { return desktop_.clipboard; }

void HeadlessWindow::setClipboardText(std::wstring_view text) {
  desktop_.clipboard = std::wstring(text);
}

void HeadlessWindow::input(const InputEvent& event) { window_.deliver(inputMessage(event)); }

bool HeadlessWindow::centreOf(std::wstring_view name, Point& point) {
  window_.relayout();
  Control* control = window_.findControl(name);
  if (control == nullptr || control->rect().width() <= 0 || control->rect().height() <= 0) {
    return false;
  }
  const Rect& r = control->rect();
  point = Point{r.left + r.width() / 2, r.top + r.height() / 2};
  return true;
}

bool HeadlessWindow::hover(std::wstring_view name) {
  Point at;
  if (!centreOf(name, at)) return false;
  moveTo(at);
  return true;
}

bool HeadlessWindow::press(std::wstring_view name) {
  Point at;
  if (!centreOf(name, at)) return false;
  moveTo(at);
  pointerDown(at);
  return true;
}

bool HeadlessWindow::click(std::wstring_view name) {
  Point at;
  if (!centreOf(name, at)) return false;
  clickAt(at);
  return true;
}

void HeadlessWindow::moveTo(Point point, unsigned modifiers) {
  input(InputEvent::pointer(InputType::kPointerMove, point, modifiers));
}

void HeadlessWindow::pointerDown(Point point, unsigned modifiers) {
  input(InputEvent::pointer(InputType::kPointerDown, point, modifiers));
}

void HeadlessWindow::pointerUp(Point point, unsigned modifiers) {
  input(InputEvent::pointer(InputType::kPointerUp, point, modifiers));
}

void HeadlessWindow::clickAt(Point point, unsigned modifiers) {
  moveTo(point, modifiers);
  pointerDown(point, modifiers);
  pointerUp(point, modifiers);
}

void HeadlessWindow::leave() { input(InputEvent::pointer(InputType::kPointerLeave, Point{})); }

void HeadlessWindow::wheel(Point point, int steps) { input(InputEvent::wheel(point, steps)); }

void HeadlessWindow::key(Key key, unsigned modifiers) { input(InputEvent::keyDown(key, modifiers)); }

void HeadlessWindow::type(std::wstring_view text) { input(InputEvent::typed(std::wstring(text))); }

void HeadlessWindow::focus(bool in) { input(InputEvent::focus(in)); }

bool HeadlessWindow::chooseDropItem(int index) {
  Combo* combo = dropList_;
  if (combo == nullptr || combo->item(index) == nullptr) return false;
  dropList_ = nullptr;
  window_.dropListChosen(*combo, index);
  return true;
}

bool HeadlessWindow::chooseDropItem(std::wstring_view text) {
  if (dropList_ == nullptr) return false;
  for (int i = 0; i < dropList_->itemCount(); ++i) {
    if (dropList_->item(i)->text == text) return chooseDropItem(i);
  }
  return false;
}

bool HeadlessWindow::dragCaption(Point from, Point to) {
  if (!visible_ || !enabled_ || window_.areaAt(from) != WindowArea::kCaption) return false;
  const int dx = to.x - from.x;
  const int dy = to.y - from.y;
  frame_ = Rect{frame_.left + dx, frame_.top + dy, frame_.right + dx, frame_.bottom + dy};
  return true;
}

void HeadlessWindow::requestClose() {
  WindowMessage message;
  message.type = MessageType::kCloseRequest;
  window_.deliver(message);
}

bool HeadlessWindow::screenshot(const std::string& pngPath) {
  if (!renderer()) return false;
  window_.relayout();
  return renderer()(window_, pngPath);
}

// ---- HeadlessDesktop ----

HeadlessDesktop::HeadlessDesktop(const TextMeasurer& measurer, Rect workArea)
    : measurer_(measurer), workArea_(workArea), previous_(windowHostFactory()) {
  setWindowHostFactory(this);
}

HeadlessDesktop::~HeadlessDesktop() {
  if (windowHostFactory() == this) setWindowHostFactory(previous_);
}

void HeadlessDesktop::addLayout(std::wstring name, std::wstring_view text) {
  const std::string utf8 = utility::wideToUtf8(text);
  layouts_[std::move(name)] = std::vector<uint8_t>(utf8.begin(), utf8.end());
}

LayoutFileReader HeadlessDesktop::layoutFiles() const {
  if (layouts_.empty()) return {};
  return [this](const std::wstring& name) {
    auto found = layouts_.find(name);
    return found != layouts_.end() ? found->second : std::vector<uint8_t>{};
  };
}

std::unique_ptr<WindowHost> HeadlessDesktop::createHost(WindowImplBase& window, WindowHost* owner,
                                                        const WindowStyle& style, Size clientSize) {
  // Owners of headless windows are headless windows of this desktop.
  auto host = std::make_unique<HeadlessWindow>(*this, window, static_cast<HeadlessWindow*>(owner),
                                               style, clientSize);
  windows_.push_back(host.get());
  zOrder_.push_back(host.get());
  return host;
}

void HeadlessDesktop::removed(HeadlessWindow* window) {
  windows_.erase(std::remove(windows_.begin(), windows_.end(), window), windows_.end());
  zOrder_.erase(std::remove(zOrder_.begin(), zOrder_.end(), window), zOrder_.end());
  if (active_ == window) active_ = nullptr;
  for (HeadlessWindow* other : windows_) {
    if (other->owner_ == window) other->owner_ = nullptr;
  }
}

void HeadlessDesktop::raise(HeadlessWindow* window) {
  zOrder_.erase(std::remove(zOrder_.begin(), zOrder_.end(), window), zOrder_.end());
  zOrder_.push_back(window);
}

void HeadlessDesktop::activate(HeadlessWindow* window) {
  if (active_ == window) return;
  HeadlessWindow* old = active_;
  active_ = window;
  if (old != nullptr) old->focus(false);
  if (window != nullptr) window->focus(true);
}

HeadlessWindow* HeadlessDesktop::hostOf(const WindowImplBase& window) const {
  for (HeadlessWindow* host : windows_) {
    if (&host->window() == &window) return host;
  }
  return nullptr;
}

HeadlessWindow* HeadlessDesktop::find(std::wstring_view className) const {
  for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) {
    if ((*it)->window().windowClassName() == className) return *it;
  }
  return nullptr;
}

std::vector<HeadlessWindow*> HeadlessDesktop::stacking() const {
  std::vector<HeadlessWindow*> shown;
  for (HeadlessWindow* window : zOrder_) {
    if (window->isVisible() && !window->topmost()) shown.push_back(window);
  }
  // Topmost windows stay above the others.
  for (HeadlessWindow* window : zOrder_) {
    if (window->isVisible() && window->topmost()) shown.push_back(window);
  }
  return shown;
}

void HeadlessDesktop::runModalLoop(const std::function<bool()>& done) {
  ++modalLoops_;
  std::function<void()> step = std::move(modalStep_);
  modalStep_ = nullptr;
  if (step) step();
  while (!done() && utility::MainLoop::iterate()) {
  }
}

void HeadlessDesktop::brokenLayout(const LoadError& error) {
  if (brokenMode_ == BrokenLayout::kRecord) {
    broken_.push_back(error.text());
    return;
  }
  // What the box captioned "Duilib" would show; then the process ends at once.
  std::fprintf(stderr, "Duilib: %s\n", utility::wideToUtf8(error.text()).c_str());
  std::fflush(stderr);
  std::_Exit(1);
}

}  // namespace toolkit

namespace toolkit {

std::optional<std::string> HeadlessDesktop::chooseFolder(WindowHost* owner, std::wstring_view title,
                                                         const std::string& startFolder) {
  folderRequests_.push_back(FolderRequest{owner, std::wstring(title), startFolder});
  return chosenFolder_;
}

}  // namespace toolkit
