#include "toolkit/win/drop_list_win.h"

#include <algorithm>
#include <utility>

namespace toolkit::win {
namespace {

constexpr const wchar_t* kSelfProperty = L"TarnwickDropList";
constexpr int kDefaultRows = 8;

HFONT listFont(unsigned dpi) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  LOGFONTW font{};
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
    font = metrics.lfMessageFont;
  } else {
    wcscpy_s(font.lfFaceName, L"Tahoma");
  }
  font.lfHeight = -MulDiv(9, static_cast<int>(dpi), 72);
  return CreateFontIndirectW(&font);
}

}  // namespace

DropList::~DropList() { dismiss(); }

void DropList::dismiss() { finish(-1, false); }

bool DropList::open(HWND owner, const RECT& anchor, const std::vector<std::wstring>& items, int selected,
                    int minWidth, int maxHeight, unsigned dpi, Chosen chosen) {
  dismiss();
  if (items.empty()) return false;
  list_ = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, L"LISTBOX", L"",
                          WS_POPUP | WS_BORDER | WS_VSCROLL | LBS_NOINTEGRALHEIGHT | LBS_HASSTRINGS,
                          0, 0, 0, 0, owner, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (list_ == nullptr) return false;
  owner_ = owner;
  chosen_ = std::move(chosen);
  closing_ = false;
  font_ = listFont(dpi);
  if (font_ != nullptr) SendMessageW(list_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  for (const std::wstring& item : items) {
    SendMessageW(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
  }
  SendMessageW(list_, LB_SETCURSEL, static_cast<WPARAM>(selected >= 0 ? selected : 0), 0);
  SetPropW(list_, kSelfProperty, this);
  listDefault_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(list_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DropList::listProcedure)));

  // Rows and borders: as many rows as fit the limit.
  const int row = std::max(1, static_cast<int>(SendMessageW(list_, LB_GETITEMHEIGHT, 0, 0)));
  const int border = 2 * GetSystemMetrics(SM_CYBORDER);
  const int count = static_cast<int>(items.size());
  int height = std::min(count, kDefaultRows) * row + border;
  if (maxHeight > 0) height = std::min(height, std::max(row + border, maxHeight));
  const int width = std::max<int>(minWidth, anchor.right - anchor.left);
  // Below the anchor, or above it when the work area ends first.
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromRect(&anchor, MONITOR_DEFAULTTONEAREST), &monitor);
  int top = anchor.bottom;
  if (top + height > monitor.rcWork.bottom && anchor.top - height >= monitor.rcWork.top) top = anchor.top - height;
  SetWindowPos(list_, HWND_TOPMOST, anchor.left, top, width, height, SWP_SHOWWINDOW);
  SetFocus(list_);
  return true;
}

void DropList::finish(int index, bool answer) {
  if (list_ == nullptr || closing_) return;
  closing_ = true;
  HWND list = list_;
  // The focus goes back to the window before the list goes, so its loss is no cancel.
  if (GetFocus() == list && IsWindow(owner_)) SetFocus(owner_);
  RemovePropW(list, kSelfProperty);
  SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(listDefault_));
  DestroyWindow(list);
  list_ = nullptr;
  if (font_ != nullptr) DeleteObject(font_);
  font_ = nullptr;
  Chosen chosen = std::move(chosen_);
  chosen_ = nullptr;
  closing_ = false;
  if (answer && chosen) chosen(index);
}

LRESULT CALLBACK DropList::listProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = static_cast<DropList*>(GetPropW(hwnd, kSelfProperty));
  if (self == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
  const WNDPROC base = self->listDefault_;
  switch (message) {
    case WM_KEYDOWN:
      if (wParam == VK_RETURN) {
        const LRESULT current = CallWindowProcW(base, hwnd, LB_GETCURSEL, 0, 0);
        self->finish(current == LB_ERR ? -1 : static_cast<int>(current), true);
        return 0;
      }
      if (wParam == VK_ESCAPE || wParam == VK_TAB) {
        self->finish(-1, true);
        return 0;
      }
      break;
    case WM_SYSKEYDOWN:
      // Alt+Up, Alt+Down and F4 close the list with the highlighted item, as combo boxes do.
      if (wParam == VK_UP || wParam == VK_DOWN) {
        const LRESULT current = CallWindowProcW(base, hwnd, LB_GETCURSEL, 0, 0);
        self->finish(current == LB_ERR ? -1 : static_cast<int>(current), true);
        return 0;
      }
      break;
    case WM_LBUTTONUP: {
      const LRESULT hit = CallWindowProcW(base, hwnd, LB_ITEMFROMPOINT, 0, lParam);
      CallWindowProcW(base, hwnd, message, wParam, lParam);
      // The high word says the point is outside every item.
      if (HIWORD(hit) == 0) {
        self->finish(LOWORD(hit), true);
      }
      return 0;
    }
    case WM_KILLFOCUS:
      self->finish(-1, true);
      return 0;
    default:
      break;
  }
  return CallWindowProcW(base, hwnd, message, wParam, lParam);
}

}  // namespace toolkit::win
