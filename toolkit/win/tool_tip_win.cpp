#include "toolkit/win/tool_tip_win.h"

#include <commctrl.h>

namespace toolkit::win {

ToolTip::~ToolTip() {
  if (tip_ != nullptr) DestroyWindow(tip_);
}

void ToolTip::tool(HWND owner, void* out) {
  TTTOOLINFOW& info = *static_cast<TTTOOLINFOW*>(out);
  info = TTTOOLINFOW{};
  // The size every version of the common controls takes.
  info.cbSize = TTTOOLINFOW_V2_SIZE;
  info.uFlags = TTF_TRACK | TTF_ABSOLUTE;
  info.hwnd = owner;
  info.uId = 1;
  info.lpszText = text_.data();
}

bool ToolTip::make(HWND owner) {
  if (tip_ != nullptr) return true;
  INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_WIN95_CLASSES};
  InitCommonControlsEx(&classes);
  tip_ = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, TOOLTIPS_CLASSW, nullptr,
                         WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                         CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (tip_ == nullptr) return false;
  TTTOOLINFOW info;
  tool(owner, &info);
  SendMessageW(tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
  SendMessageW(tip_, TTM_SETMAXTIPWIDTH, 0, 400);
  return true;
}

void ToolTip::show(HWND owner, std::wstring_view text) {
  text_ = std::wstring(text);
  if (text_.empty()) {
    if (tip_ != nullptr) {
      TTTOOLINFOW info;
      tool(owner, &info);
      SendMessageW(tip_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&info));
    }
    return;
  }
  if (!make(owner)) return;
  TTTOOLINFOW info;
  tool(owner, &info);
  SendMessageW(tip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
  // Below the pointer's shape, as tool tips appear.
  POINT at{};
  GetCursorPos(&at);
  const int below = GetSystemMetrics(SM_CYCURSOR) / 2 + 4;
  SendMessageW(tip_, TTM_TRACKPOSITION, 0, MAKELPARAM(at.x, at.y + below));
  SendMessageW(tip_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&info));
}

}  // namespace toolkit::win
