// The system clipboard's Unicode text (CF_UNICODETEXT).
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace toolkit::win {

// Empty when the clipboard holds no text or cannot be opened.
std::wstring readClipboardText(HWND owner);
// False when the clipboard cannot be opened or the text not stored.
bool writeClipboardText(HWND owner, std::wstring_view text);

}  // namespace toolkit::win
