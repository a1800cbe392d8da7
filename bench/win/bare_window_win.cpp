// The reference of the Windows start-up benchmark: a bare Win32 window of the installer's main
// window size (an undecorated popup, as the installer's) that paints one frame with GDI (a filled
// client area and one line of text) and says "first-frame" on standard output once it has.
#include <windows.h>

#include <cstdio>

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 400;

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  static bool first = true;
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      RECT client;
      GetClientRect(window, &client);
      FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
      RECT text{12, 12, client.right - 12, client.bottom - 12};
      SetBkMode(dc, TRANSPARENT);
      DrawTextW(dc, L"Bare window", -1, &text, DT_LEFT | DT_TOP | DT_SINGLELINE);
      EndPaint(window, &paint);
      if (first) {
        first = false;
        std::fputs("first-frame\n", stdout);
        std::fflush(stdout);
      }
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = windowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  windowClass.lpszClassName = L"BareWindow";
  if (RegisterClassExW(&windowClass) == 0) return 1;
  HWND window = CreateWindowExW(0, L"BareWindow", L"Bare window", WS_POPUP, CW_USEDEFAULT, CW_USEDEFAULT, kWidth,
                                kHeight, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}
