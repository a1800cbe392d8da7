#include "toolkit/win/keys_win.h"

namespace toolkit::win {
namespace {

bool isControl(unsigned c) { return c < 0x20 || (c >= 0x7F && c < 0xA0); }

}  // namespace

Key keyOf(WPARAM virtualKey) {
  switch (virtualKey) {
    case VK_TAB: return Key::kTab;
    case VK_RETURN: return Key::kEnter;
    case VK_ESCAPE: return Key::kEscape;
    case VK_SPACE: return Key::kSpace;
    case VK_BACK: return Key::kBackspace;
    case VK_DELETE: return Key::kDelete;
    case VK_LEFT: return Key::kLeft;
    case VK_RIGHT: return Key::kRight;
    case VK_UP: return Key::kUp;
    case VK_DOWN: return Key::kDown;
    case VK_HOME: return Key::kHome;
    case VK_END: return Key::kEnd;
    case VK_PRIOR: return Key::kPageUp;
    case VK_NEXT: return Key::kPageDown;
    case VK_F4: return Key::kF4;
    case 'A': return Key::kA;
    case 'C': return Key::kC;
    case 'V': return Key::kV;
    case 'X': return Key::kX;
    default: return Key::kOther;
  }
}

unsigned keyModifiers() {
  unsigned modifiers = kNoModifier;
  if (GetKeyState(VK_SHIFT) < 0) modifiers |= kShift;
  if (GetKeyState(VK_CONTROL) < 0) modifiers |= kControl;
  if (GetKeyState(VK_MENU) < 0) modifiers |= kAlt;
  return modifiers;
}

unsigned pointerModifiers(WPARAM wParam) {
  unsigned modifiers = kNoModifier;
  if ((wParam & MK_SHIFT) != 0) modifiers |= kShift;
  if ((wParam & MK_CONTROL) != 0) modifiers |= kControl;
  if (GetKeyState(VK_MENU) < 0) modifiers |= kAlt;
  return modifiers;
}

std::optional<std::wstring> CharacterJoiner::add(wchar_t unit) {
  if (unit >= 0xD800 && unit <= 0xDBFF) {
    high_ = unit;  // a high half without its low half before it is dropped
    return std::nullopt;
  }
  const wchar_t high = high_;
  high_ = 0;
  if (unit >= 0xDC00 && unit <= 0xDFFF) {
    if (high == 0) return std::nullopt;
    return std::wstring{high, unit};
  }
  if (isControl(unit)) return std::nullopt;
  return std::wstring(1, unit);
}

std::optional<std::wstring> textOfCodePoint(unsigned codePoint) {
  if (isControl(codePoint) || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
    return std::nullopt;
  }
  if (codePoint < 0x10000) return std::wstring(1, static_cast<wchar_t>(codePoint));
  const unsigned v = codePoint - 0x10000;
  return std::wstring{static_cast<wchar_t>(0xD800 + (v >> 10)), static_cast<wchar_t>(0xDC00 + (v & 0x3FF))};
}

}  // namespace toolkit::win
