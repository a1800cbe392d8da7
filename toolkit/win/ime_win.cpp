#include "toolkit/win/ime_win.h"

#include <imm.h>

namespace toolkit::win {

void enableInputMethod(HWND window, bool on) {
  ImmAssociateContextEx(window, nullptr, on ? IACE_DEFAULT : 0);
}

void placeInputMethod(HWND window, POINT caret, const RECT& exclude) {
  HIMC context = ImmGetContext(window);
  if (context == nullptr) return;
  COMPOSITIONFORM composition{};
  composition.dwStyle = CFS_POINT;
  composition.ptCurrentPos = caret;
  ImmSetCompositionWindow(context, &composition);
  CANDIDATEFORM candidates{};
  candidates.dwIndex = 0;
  candidates.dwStyle = CFS_EXCLUDE;
  candidates.ptCurrentPos = caret;
  candidates.rcArea = exclude;
  ImmSetCandidateWindow(context, &candidates);
  ImmReleaseContext(window, context);
}

std::wstring inputMethodResult(HWND window) {
  HIMC context = ImmGetContext(window);
  if (context == nullptr) return {};
  std::wstring text;
  const LONG bytes = ImmGetCompositionStringW(context, GCS_RESULTSTR, nullptr, 0);
  if (bytes > 0) {
    text.resize(static_cast<size_t>(bytes) / sizeof(wchar_t));
    const LONG got = ImmGetCompositionStringW(context, GCS_RESULTSTR, text.data(), static_cast<DWORD>(bytes));
    text.resize(got > 0 ? static_cast<size_t>(got) / sizeof(wchar_t) : 0);
  }
  ImmReleaseContext(window, context);
  return text;
}

}  // namespace toolkit::win
