#include "toolkit/win/clipboard_win.h"

#include <cstring>

namespace toolkit::win {
namespace {

// Another program may hold the clipboard for a moment: a few tries before giving up.
bool openClipboard(HWND owner) {
  for (int attempt = 0; attempt < 10; ++attempt) {
    if (OpenClipboard(owner)) return true;
    Sleep(10);
  }
  return false;
}

}  // namespace

std::wstring readClipboardText(HWND owner) {
  if (!openClipboard(owner)) return {};
  std::wstring text;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    const SIZE_T bytes = GlobalSize(data);
    if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
      // Up to the terminator, never past the block.
      const size_t limit = bytes / sizeof(wchar_t);
      size_t length = 0;
      while (length < limit && chars[length] != L'\0') ++length;
      text.assign(chars, length);
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

bool writeClipboardText(HWND owner, std::wstring_view text) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
  if (block == nullptr) return false;
  auto* chars = static_cast<wchar_t*>(GlobalLock(block));
  if (chars == nullptr) {
    GlobalFree(block);
    return false;
  }
  std::memcpy(chars, text.data(), text.size() * sizeof(wchar_t));
  chars[text.size()] = L'\0';
  GlobalUnlock(block);
  if (!openClipboard(owner)) {
    GlobalFree(block);
    return false;
  }
  EmptyClipboard();
  const bool stored = SetClipboardData(CF_UNICODETEXT, block) != nullptr;
  CloseClipboard();
  if (!stored) GlobalFree(block);  // the system owns it only once stored
  return stored;
}

}  // namespace toolkit::win
