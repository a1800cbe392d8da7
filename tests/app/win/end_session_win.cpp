// Tells a window that the desktop session ends, as the system does when the user logs off:
// WM_QUERYENDSESSION, then WM_ENDSESSION with TRUE. Waits (up to a minute) for a top-level window
// of the class given to appear first. Exit code 0 when the messages were sent, 1 when no such
// window came, 2 on bad arguments.
//   end_session.exe <window class>
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fputs("usage: end_session.exe <window class>\n", stderr);
    return 2;
  }
  HWND window = nullptr;
  for (int i = 0; i < 600 && window == nullptr; ++i) {
    window = FindWindowW(argv[1], nullptr);
    if (window == nullptr) Sleep(100);
  }
  if (window == nullptr) {
    std::fprintf(stderr, "no window of class %ls\n", argv[1]);
    return 1;
  }
  DWORD_PTR answer = 0;
  SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 30000, &answer);
  std::printf("WM_QUERYENDSESSION answered %d\n", static_cast<int>(answer));
  // The window may end its process before answering this one.
  SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, 30000, &answer);
  std::puts("WM_ENDSESSION sent");
  return 0;
}
