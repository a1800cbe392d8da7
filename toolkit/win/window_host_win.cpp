// The host of one toolkit window: a layered popup window (WS_EX_LAYERED, shown through
// UpdateLayeredWindow) of the window's client size times its scale, and what the toolkit asks
// of it: showing, stacking, position, the enabled state, timers, the clipboard, the drop list,
// the tool tip, the pointer shape and repainting.
#include <windows.h>

#include <algorithm>

#include "toolkit/win/clipboard_win.h"
#include "toolkit/win/dpi_win.h"
#include "toolkit/win/window_host_win.h"

namespace toolkit::win {
namespace {

// Repaints are gathered until this message comes: many invalidations, one paint.
constexpr UINT kRepaintMessage = WM_APP + 0x51;

int floorDiv(int value, int by) { return value >= 0 ? value / by : -((-value + by - 1) / by); }

Rect unite(const Rect& a, const Rect& b) {
  if (a.width() <= 0 || a.height() <= 0) return b;
  if (b.width() <= 0 || b.height() <= 0) return a;
  return Rect{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
              std::max(a.bottom, b.bottom)};
}

}  // namespace

WinWindowHost::WinWindowHost(WinDesktop& desktop, WindowImplBase& window, WinWindowHost* owner,
                             const WindowStyle& style, Size clientSize)
    : desktop_(desktop), window_(window), style_(style), size_(clientSize) {
  const wchar_t* className = desktop.windowClass(window.windowClassName());
  if (className == nullptr) return;
  // The popup window of the contract: no frame of the system (the skin draws its own caption).
  // A layout with a size box can be resized, which the system does only for a sizing frame; no
  // frame is drawn (WM_NCCALCSIZE keeps the whole window as the client area).
  const Rect& sizeBox = window.description().sizeBox;
  const bool sizable = sizeBox.left > 0 || sizeBox.top > 0 || sizeBox.right > 0 || sizeBox.bottom > 0;
  DWORD styleBits = WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
  if (sizable) styleBits |= WS_THICKFRAME;
  DWORD exStyle = WS_EX_LAYERED;
  // The task bar shows unowned windows; tool windows (boxes) stay off it.
  exStyle |= style.toolWindow ? WS_EX_TOOLWINDOW : (owner == nullptr ? WS_EX_APPWINDOW : 0);
  if (style.topmost) exStyle |= WS_EX_TOPMOST;
  HWND ownerWindow = owner != nullptr ? owner->hwnd() : nullptr;
  hwnd_ = CreateWindowExW(exStyle, className, L"", styleBits, 0, 0, std::max(clientSize.width, 1),
                          std::max(clientSize.height, 1), ownerWindow, nullptr, GetModuleHandleW(nullptr), this);
  if (hwnd_ == nullptr) return;
  // Now that it is on a monitor: its size at that monitor's scale.
  dpi_ = dpiOfWindow(hwnd_);
  scale_ = scaleForDpi(dpi_);
  SetWindowPos(hwnd_, nullptr, 0, 0, std::max(clientSize.width, 1) * scale_,
               std::max(clientSize.height, 1) * scale_, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  size_ = clientSize;
  dirty_ = Rect{0, 0, size_.width, size_.height};
}

WinWindowHost::~WinWindowHost() {
  *alive_ = false;
  dropList_.dismiss();
  if (hwnd_ != nullptr) {
    for (uint32_t id : timers_) KillTimer(hwnd_, id);
    // No message of the window's end reaches the toolkit window.
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
  if (bigIcon_ != nullptr) DestroyIcon(bigIcon_);
  if (smallIcon_ != nullptr) DestroyIcon(smallIcon_);
}

bool WinWindowHost::deliver(const WindowMessage& message) {
  const std::shared_ptr<bool> alive = alive_;
  window_.deliver(message);
  return *alive;
}

bool WinWindowHost::deliverInput(const InputEvent& event) {
  WindowMessage message;
  message.type = MessageType::kInput;
  message.input = event;
  return deliver(message);
}

Point WinWindowHost::toLayout(int x, int y) const { return Point{floorDiv(x, scale_), floorDiv(y, scale_)}; }

void WinWindowHost::setTitle(std::wstring_view title) { SetWindowTextW(hwnd_, std::wstring(title).c_str()); }

void WinWindowHost::setIcon(int resourceId) {
  // The executable's icon at the system's two sizes: the task bar and Alt+Tab take the big one,
  // the caption and small lists the small one. A program without it keeps the default.
  HINSTANCE module = GetModuleHandleW(nullptr);
  const auto load = [&](int sizeMetricX, int sizeMetricY) {
    return static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(resourceId), IMAGE_ICON,
                                         GetSystemMetrics(sizeMetricX), GetSystemMetrics(sizeMetricY),
                                         LR_DEFAULTCOLOR));
  };
  HICON big = load(SM_CXICON, SM_CYICON);
  HICON small = load(SM_CXSMICON, SM_CYSMICON);
  if (big == nullptr || small == nullptr) {
    if (big != nullptr) DestroyIcon(big);
    if (small != nullptr) DestroyIcon(small);
    return;
  }
  SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
  SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
  if (bigIcon_ != nullptr) DestroyIcon(bigIcon_);
  if (smallIcon_ != nullptr) DestroyIcon(smallIcon_);
  bigIcon_ = big;
  smallIcon_ = small;
}

void WinWindowHost::show(ShowCommand command) {
  // A layered window shows nothing until its first pixels are given.
  if (command != ShowCommand::kHide && !painted_) paint();
  switch (command) {
    case ShowCommand::kHide:
      dropList_.dismiss();
      toolTip_.show(hwnd_, {});
      ShowWindow(hwnd_, SW_HIDE);
      break;
    case ShowCommand::kShow:
      ShowWindow(hwnd_, SW_SHOWNORMAL);
      SetForegroundWindow(hwnd_);
      SetFocus(hwnd_);
      break;
    case ShowCommand::kShowNoActivate:
      ShowWindow(hwnd_, SW_SHOWNA);
      break;
    case ShowCommand::kMinimize:
      dropList_.dismiss();
      toolTip_.show(hwnd_, {});
      ShowWindow(hwnd_, SW_MINIMIZE);
      break;
    case ShowCommand::kRestore:
      ShowWindow(hwnd_, SW_RESTORE);
      break;
  }
}

bool WinWindowHost::isVisible() const { return IsWindowVisible(hwnd_) != FALSE; }

bool WinWindowHost::isMinimized() const { return IsIconic(hwnd_) != FALSE; }

void WinWindowHost::bringToTop() { BringWindowToTop(hwnd_); }

void WinWindowHost::bringToFront() {
  if (IsIconic(hwnd_)) {
    SendMessageW(hwnd_, WM_SYSCOMMAND, SC_RESTORE, 0);
    // The system refuses the command while the window is disabled (a box is over it).
    if (IsIconic(hwnd_)) ShowWindow(hwnd_, SW_RESTORE);
  }
  if ((GetWindowLongPtrW(hwnd_, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0) {
    ShowWindow(hwnd_, SW_SHOW);
    return;
  }
  SetForegroundWindow(hwnd_);
  BringWindowToTop(hwnd_);
  // Passing through the topmost band lifts it above every window without leaving it there.
  constexpr UINT kFlags = SWP_NOSIZE | SWP_NOMOVE | SWP_SHOWWINDOW;
  SetWindowPos(hwnd_, HWND_TOPMOST, 0, 0, 0, 0, kFlags);
  SetWindowPos(hwnd_, HWND_NOTOPMOST, 0, 0, 0, 0, kFlags);
}

void WinWindowHost::setTopmost(bool topmost) {
  style_.topmost = topmost;
  SetWindowPos(hwnd_, topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void WinWindowHost::setEnabled(bool enabled) {
  if (!enabled) {
    dropList_.dismiss();
    toolTip_.show(hwnd_, {});
  }
  EnableWindow(hwnd_, enabled ? TRUE : FALSE);
}

Rect WinWindowHost::frame() const {
  RECT r{};
  GetWindowRect(hwnd_, &r);
  const int left = floorDiv(r.left, scale_);
  const int top = floorDiv(r.top, scale_);
  return Rect{left, top, left + size_.width, top + size_.height};
}

void WinWindowHost::setFrame(const Rect& frame) {
  SetWindowPos(hwnd_, nullptr, frame.left * scale_, frame.top * scale_, std::max(frame.width(), 1) * scale_,
               std::max(frame.height(), 1) * scale_, SWP_NOZORDER | SWP_NOACTIVATE);
}

Rect WinWindowHost::workArea() const {
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  if (!GetMonitorInfoW(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTONEAREST), &info)) {
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &info.rcWork, 0);
  }
  const RECT& w = info.rcWork;
  return Rect{floorDiv(w.left, scale_), floorDiv(w.top, scale_), floorDiv(w.right, scale_),
              floorDiv(w.bottom, scale_)};
}

void WinWindowHost::invalidate(const Rect& area) {
  const Rect clipped{std::max(area.left, 0), std::max(area.top, 0), std::min(area.right, size_.width),
                     std::min(area.bottom, size_.height)};
  if (clipped.width() <= 0 || clipped.height() <= 0) return;
  dirty_ = unite(dirty_, clipped);
  scheduleRepaint();
}

void WinWindowHost::scheduleRepaint() {
  if (repaintPosted_) return;
  repaintPosted_ = PostMessageW(hwnd_, kRepaintMessage, 0, 0) != FALSE;
}

void WinWindowHost::paint() {
  repaintPosted_ = false;
  window_.relayout();
  bool ok = false;
  if (surface_.resize(size_.width * scale_, size_.height * scale_, ok)) {
    dirty_ = Rect{0, 0, size_.width, size_.height};
  }
  if (!ok) return;
  const Rect dirty = dirty_;
  dirty_ = Rect{};
  if (dirty.width() > 0 && dirty.height() > 0) {
    const RECT device{dirty.left * scale_, dirty.top * scale_, dirty.right * scale_, dirty.bottom * scale_};
    const GdiPaintHook& painter = desktop_.painter();
    // Without a painter the window is white.
    surface_.clearAndClip(device, painter ? 0u : 0xFFFFFFFFu);
    if (painter) painter(surface_.dc(), window_, dirty);
    surface_.unclip();
  }
  if (surface_.present(hwnd_)) painted_ = true;
}

void WinWindowHost::clientResized(int deviceWidth, int deviceHeight) {
  if (deviceWidth <= 0 || deviceHeight <= 0) return;  // minimised
  const Size size{(deviceWidth + scale_ - 1) / scale_, (deviceHeight + scale_ - 1) / scale_};
  if (size == size_ && window_.clientSize() == size && surface_.width() == deviceWidth &&
      surface_.height() == deviceHeight) {
    return;
  }
  size_ = size;
  dirty_ = Rect{0, 0, size_.width, size_.height};
  if (window_.clientSize() != size) {
    WindowMessage message;
    message.type = MessageType::kSize;
    message.size = size;
    if (!deliver(message)) return;
  }
  scheduleRepaint();
}

void WinWindowHost::dpiChanged(unsigned dpi, const RECT* suggested) {
  dpi_ = dpi != 0 ? dpi : 96;
  scale_ = scaleForDpi(dpi_);
  if (suggested != nullptr) {
    SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                 suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  RECT client{};
  GetClientRect(hwnd_, &client);
  clientResized(client.right, client.bottom);
  // Texts measure differently at another scale and the images change: everything again.
  dirty_ = Rect{0, 0, size_.width, size_.height};
  scheduleRepaint();
}

bool WinWindowHost::startTimer(uint32_t id, uint32_t periodMs) {
  if (SetTimer(hwnd_, id, std::max<UINT>(periodMs, USER_TIMER_MINIMUM), nullptr) == 0) {
    timers_.erase(id);
    return false;
  }
  timers_.insert(id);
  return true;
}

void WinWindowHost::stopTimer(uint32_t id) {
  if (timers_.erase(id) != 0) KillTimer(hwnd_, id);
}

std::wstring WinWindowHost::clipboardText() { return readClipboardText(hwnd_); }

void WinWindowHost::setClipboardText(std::wstring_view text) { writeClipboardText(hwnd_, text); }

void WinWindowHost::openDropList(Combo& combo) {
  std::vector<std::wstring> items;
  for (int i = 0; i < combo.itemCount(); ++i) items.push_back(combo.item(i)->text);
  const Rect& r = combo.rect();
  POINT topLeft{r.left * scale_, r.top * scale_};
  POINT bottomRight{r.right * scale_, r.bottom * scale_};
  ClientToScreen(hwnd_, &topLeft);
  ClientToScreen(hwnd_, &bottomRight);
  const RECT anchor{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
  const Size box = combo.dropBoxSize();
  Combo* target = &combo;
  WindowImplBase* window = &window_;
  const std::shared_ptr<bool> alive = alive_;
  dropList_.open(hwnd_, anchor, items, combo.selectedIndex(), box.width * scale_, box.height * scale_, dpi_,
                 [alive, window, target](int index) {
                   if (*alive) window->dropListChosen(*target, index);
                 });
}

void WinWindowHost::setToolTip(std::wstring_view text) { toolTip_.show(hwnd_, text); }

void WinWindowHost::setCursor(Cursor cursor) {
  cursor_ = cursor;
  // At once when the pointer is over the window; WM_SETCURSOR keeps it there.
  POINT at{};
  if (GetCursorPos(&at) && WindowFromPoint(at) == hwnd_) {
    const wchar_t* shape = cursor == Cursor::kHand ? IDC_HAND : cursor == Cursor::kText ? IDC_IBEAM : IDC_ARROW;
    SetCursor(LoadCursorW(nullptr, shape));
  }
}

}  // namespace toolkit::win
