// The input method (Imm32) for text controls: on only while one has the focus, its composition
// window at the caret, its result string taken as typed text.
#pragma once

#include <windows.h>

#include <string>

namespace toolkit::win {

// Gives |window| the thread's default input context, or none (keys then reach the window as
// they are).
void enableInputMethod(HWND window, bool on);
// Puts the composition window at |caret| and keeps the candidate list off |exclude| (client
// device pixels: the text control).
void placeInputMethod(HWND window, POINT caret, const RECT& exclude);
// The composition's result string (WM_IME_COMPOSITION with GCS_RESULTSTR); empty when none.
std::wstring inputMethodResult(HWND window);

}  // namespace toolkit::win
