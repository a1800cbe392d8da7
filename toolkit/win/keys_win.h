// Keys and characters as Win32 hands them over, in the toolkit's terms.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "toolkit/core/input_event.h"

namespace toolkit::win {

// The toolkit's key for a virtual-key code; kOther for keys it does not act on.
Key keyOf(WPARAM virtualKey);

// Shift, Ctrl and Alt as the keyboard state says now (the state of the message being handled).
unsigned keyModifiers();
// The modifiers of a pointer message: Shift and Ctrl from its wParam, Alt from the keyboard.
unsigned pointerModifiers(WPARAM wParam);

// Joins WM_CHAR code units into text: a high surrogate waits for its low half; control
// characters (the keys deliver them) and halves without a partner give nothing.
class CharacterJoiner {
 public:
  std::optional<std::wstring> add(wchar_t unit);

 private:
  wchar_t high_ = 0;
};

// The text of a code point (WM_UNICHAR); nothing for control characters and invalid values.
std::optional<std::wstring> textOfCodePoint(unsigned codePoint);

}  // namespace toolkit::win
