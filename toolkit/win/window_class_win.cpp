// The window procedure of the toolkit's windows: what the system says of a window, turned into
// the toolkit's messages (input, timers, size, the close request) and the host's own work
// (painting, hit testing for the skin's caption and size box, DPI, the input method, the
// session's end).
#include <windows.h>
#include <windowsx.h>

#include <algorithm>

#include "toolkit/core/control.h"
#include "toolkit/win/dpi_win.h"
#include "toolkit/win/ime_win.h"
#include "toolkit/win/keys_win.h"
#include "toolkit/win/text_scale_win.h"
#include "toolkit/win/window_host_win.h"

namespace toolkit::win {
namespace {

constexpr UINT kRepaintMessage = WM_APP + 0x51;

LRESULT hitTestCode(WindowArea area) {
  switch (area) {
    case WindowArea::kCaption: return HTCAPTION;
    case WindowArea::kLeft: return HTLEFT;
    case WindowArea::kTop: return HTTOP;
    case WindowArea::kRight: return HTRIGHT;
    case WindowArea::kBottom: return HTBOTTOM;
    case WindowArea::kTopLeft: return HTTOPLEFT;
    case WindowArea::kTopRight: return HTTOPRIGHT;
    case WindowArea::kBottomLeft: return HTBOTTOMLEFT;
    case WindowArea::kBottomRight: return HTBOTTOMRIGHT;
    case WindowArea::kClient: break;
  }
  return HTCLIENT;
}

const wchar_t* cursorShape(Cursor cursor) {
  switch (cursor) {
    case Cursor::kHand: return IDC_HAND;
    case Cursor::kText: return IDC_IBEAM;
    case Cursor::kArrow: break;
  }
  return IDC_ARROW;
}

}  // namespace

LRESULT CALLBACK WinWindowHost::procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }
  auto* host = reinterpret_cast<WinWindowHost*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (host == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
  return host->handle(hwnd, message, wParam, lParam);
}

LRESULT WinWindowHost::handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  // The host may be gone (the toolkit closed the window) once a delivery returns: after one,
  // only the arguments are used.
  switch (message) {
    // ---- Frame and painting ----
    case WM_NCCALCSIZE:
      // No frame of the system: the whole window is the client area.
      return 0;
    case WM_NCHITTEST:
      return hitTest(lParam);
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      // The pixels are the layered window's own; only the invalid state ends here.
      PAINTSTRUCT ps;
      BeginPaint(hwnd, &ps);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case kRepaintMessage:
      paint();
      return 0;
    case WM_SIZE:
      if (hwnd_ != nullptr && wParam != SIZE_MINIMIZED) clientResized(LOWORD(lParam), HIWORD(lParam));
      return 0;
    case WM_MOVE:
      // The drop list belongs under its combo.
      dropList_.dismiss();
      return 0;
    case WM_GETMINMAXINFO: {
      auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
      const Size minimum = window_.description().minInfo;
      if (minimum.width > 0) info->ptMinTrackSize.x = minimum.width * scale_;
      if (minimum.height > 0) info->ptMinTrackSize.y = minimum.height * scale_;
      return 0;
    }
    case WM_DPICHANGED:
      dpiChanged(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
      return 0;
    case WM_SETTINGCHANGE:
      // The text size is one of the accessibility settings; the system does not always name the
      // area that changed, so any change reads it again (an unchanged scale costs nothing).
      window_.setTextScale(desktopTextScale());
      break;

    // ---- Pointer ----
    case WM_SETCURSOR:
      if (LOWORD(lParam) == HTCLIENT) {
        SetCursor(LoadCursorW(nullptr, cursorShape(cursor_)));
        return TRUE;
      }
      break;
    case WM_MOUSEMOVE:
      if (!trackingLeave_) {
        TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, hwnd_, 0};
        trackingLeave_ = TrackMouseEvent(&track) != FALSE;
      }
      pointer(InputType::kPointerMove, wParam, lParam);
      return 0;
    case WM_MOUSELEAVE:
      trackingLeave_ = false;
      // Held by a press (the capture), the pointer has not left for the toolkit.
      if (GetCapture() != hwnd_) deliverInput(InputEvent::pointer(InputType::kPointerLeave, Point{}));
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      SetCapture(hwnd_);
      pointer(InputType::kPointerDown, wParam, lParam);
      return 0;
    case WM_LBUTTONUP:
      if (GetCapture() == hwnd_) ReleaseCapture();
      pointer(InputType::kPointerUp, wParam, lParam);
      return 0;
    case WM_MOUSEWHEEL: {
      POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      ScreenToClient(hwnd_, &at);
      // Fine-grained wheels send parts of a step: they add up.
      wheelRemainder_ += GET_WHEEL_DELTA_WPARAM(wParam);
      const int steps = wheelRemainder_ / WHEEL_DELTA;
      wheelRemainder_ -= steps * WHEEL_DELTA;
      if (steps != 0) deliverInput(InputEvent::wheel(toLayout(at.x, at.y), steps));
      return 0;
    }

    // ---- Keyboard, text, input method ----
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      if (keyDown(wParam, lParam, message == WM_SYSKEYDOWN)) return 0;
      break;
    case WM_CHAR:
      characters(static_cast<wchar_t>(wParam));
      return 0;
    case WM_SYSCHAR:
      // Alt with a letter: no menu to open, no beep.
      return 0;
    case WM_UNICHAR:
      if (wParam == UNICODE_NOCHAR) return TRUE;
      if (window_.textInputActive()) {
        if (auto text = textOfCodePoint(static_cast<unsigned>(wParam))) deliverInput(InputEvent::typed(*text));
      }
      return 0;
    case WM_IME_STARTCOMPOSITION:
      placeComposition();
      break;
    case WM_IME_COMPOSITION:
      if ((lParam & GCS_RESULTSTR) != 0) {
        const std::wstring result = inputMethodResult(hwnd_);
        if (!result.empty() && window_.textInputActive()) {
          if (!deliverInput(InputEvent::typed(result))) return 0;
        }
        // The rest (the composition still shown) is the system's; the result must not come
        // again as characters.
        lParam &= ~static_cast<LPARAM>(GCS_RESULTSTR | GCS_RESULTREADSTR | GCS_RESULTCLAUSE |
                                       GCS_RESULTREADCLAUSE);
        if (lParam == 0) return 0;
      }
      placeComposition();
      break;
    case WM_SETFOCUS:
      updateInputMethod();
      deliverInput(InputEvent::focus(true));
      return 0;
    case WM_KILLFOCUS:
      characters_ = CharacterJoiner();
      deliverInput(InputEvent::focus(false));
      return 0;

    // ---- Timers, closing, the session ----
    case WM_TIMER:
      if (timers_.count(static_cast<uint32_t>(wParam)) != 0) {
        WindowMessage timer;
        timer.type = MessageType::kTimer;
        timer.timerId = static_cast<uint32_t>(wParam);
        deliver(timer);
      }
      return 0;
    case WM_SYSCOMMAND:
      // No system menu to open from the keyboard.
      if ((wParam & 0xFFF0) == SC_KEYMENU) return 0;
      break;
    case WM_CLOSE: {
      // The system's close (Alt+F4, the task bar): the window decides, as for its close button.
      WindowMessage close;
      close.type = MessageType::kCloseRequest;
      deliver(close);
      return 0;
    }
    case WM_QUERYENDSESSION:
      // A session may end while the installer runs, as on Linux: the end is orderly.
      return TRUE;
    case WM_ENDSESSION:
      if (wParam != FALSE) desktop_.endSession();
      return 0;

    case WM_GETOBJECT:
      // Accessibility (UI Automation over the toolkit's accessible tree) answers here; until
      // then the system's default answer.
      break;
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT WinWindowHost::hitTest(LPARAM lParam) {
  // Only an enabled window is dragged or sized; a disabled one lets its box answer first.
  if (!window_.isEnabled()) return HTCLIENT;
  POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  ScreenToClient(hwnd_, &at);
  RECT client{};
  GetClientRect(hwnd_, &client);
  if (!PtInRect(&client, at)) return HTNOWHERE;
  return hitTestCode(window_.areaAt(toLayout(at.x, at.y)));
}

void WinWindowHost::pointer(InputType type, WPARAM wParam, LPARAM lParam) {
  // A press may have moved the focus to or from a text control.
  if (deliverInput(InputEvent::pointer(type, toLayout(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)),
                                       pointerModifiers(wParam))) &&
      type != InputType::kPointerMove) {
    updateInputMethod();
  }
}

bool WinWindowHost::keyDown(WPARAM vk, LPARAM lParam, bool system) {
  // Keys the input method is composing with are its own.
  if (vk == VK_PROCESSKEY) return false;
  unsigned modifiers = keyModifiers();
  if (system && (lParam & (1 << 29)) != 0) modifiers |= kAlt;
  // Alt+F4 is the system's close (WM_CLOSE), as a window manager's would be.
  if (system && vk == VK_F4) return false;
  const Key key = keyOf(vk);
  // While text goes to a control, a key that types a character comes as that character
  // (WM_CHAR), as an input method would commit it.
  // VK_PACKET carries a character of another source (SendInput, on-screen keyboards).
  if (vk == VK_PACKET) return true;
  if (key == Key::kOther && window_.textInputActive() && (modifiers & (kControl | kAlt)) == 0 &&
      MapVirtualKeyW(static_cast<UINT>(vk), MAPVK_VK_TO_CHAR) != 0) {
    return true;
  }
  if (deliverInput(InputEvent::keyDown(key, modifiers))) updateInputMethod();
  return true;
}

void WinWindowHost::characters(wchar_t unit) {
  const std::optional<std::wstring> text = characters_.add(unit);
  if (text && window_.textInputActive()) deliverInput(InputEvent::typed(*text));
}

void WinWindowHost::updateInputMethod() {
  const bool on = window_.textInputActive();
  if (on == inputMethodOn_) return;
  inputMethodOn_ = on;
  enableInputMethod(hwnd_, on);
}

void WinWindowHost::placeComposition() {
  if (!window_.textInputActive()) return;
  const Rect area = window_.textInputArea();
  int caretX = area.left;
  if (const auto* edit = dynamic_cast<const Edit*>(window_.input().focused())) {
    const TextMeasurer& measurer =
        window_.drawing() != nullptr ? window_.drawing()->measurer(scale_) : desktop_.measurer();
    const std::wstring shown = edit->shownText();
    const std::wstring before = shown.substr(0, static_cast<size_t>(std::clamp<int>(edit->caret(), 0, static_cast<int>(shown.size()))));
    caretX = area.left + edit->textPadding().left + measurer.measure(before, edit->font(), 0).width - edit->scrollX();
    caretX = std::clamp(caretX, area.left, area.right);
  }
  const POINT caret{caretX * scale_, area.top * scale_};
  const RECT exclude{area.left * scale_, area.top * scale_, area.right * scale_, area.bottom * scale_};
  placeInputMethod(hwnd_, caret, exclude);
}

}  // namespace toolkit::win
