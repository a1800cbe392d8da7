// The main thread's Win32 message loop: GetMessage / DispatchMessage until WM_QUIT.
#include <windows.h>

#include <atomic>
#include <mutex>

#include "utility/base/main_loop.h"
#include "utility/base/win/main_thread_win.h"

namespace utility {

namespace win {

namespace {

DWORD startMainThread() {
  // The queue is made by the first message call of a thread; a thread message posted before it
  // exists is refused.
  MSG msg;
  PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  return GetCurrentThreadId();
}

// Static initialisation runs on the thread that starts the process.
const DWORD gMainThreadId = startMainThread();

}  // namespace

DWORD mainThreadId() { return gMainThreadId; }

bool endLoopOnConsoleControl(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      MainLoop::quit();
      return true;
    default:
      return false;
  }
}

// Runs on a thread the system starts for the event.
BOOL WINAPI consoleControlHandler(DWORD event) {
  if (!endLoopOnConsoleControl(event)) return FALSE;
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    // The system ends the process as soon as this returns: hold it so that the loop's orderly
    // end runs. The process's own exit ends this thread (the system's limit still holds).
    Sleep(INFINITE);
  }
  return TRUE;
}

}  // namespace win

namespace {

std::atomic<bool> gQuit{false};
// Main thread only: a WM_QUIT was taken out of the queue by iterate() while run() was running.
bool gQuitTaken = false;

// A request to end the loop that reached the main thread as a thread message (no dispatcher
// window yet).
bool takeThreadMessage(const MSG& msg) {
  if (msg.hwnd != nullptr) return false;
  if (msg.message == win::kQuitRequestMessage) PostQuitMessage(0);
  return msg.message == win::kQuitRequestMessage;
}

void dispatch(const MSG& msg) {
  if (takeThreadMessage(msg)) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

}  // namespace

void MainLoop::run() {
  if (gQuit.load()) return;
  gQuitTaken = false;
  MSG msg;
  for (;;) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) break;  // WM_QUIT; -1 only for a bad window filter
    dispatch(msg);
    if (gQuitTaken) break;  // a task pumping the queue itself took the WM_QUIT meant for us
  }
  // Also when someone posted WM_QUIT without quit().
  gQuit.store(true);
}

void MainLoop::quit() {
  gQuit.store(true);
  if (GetCurrentThreadId() == win::mainThreadId()) {
    PostQuitMessage(0);
    return;
  }
  // Through the dispatcher's window when there is one, so that a modal loop running on the main
  // thread (a message box) passes it on; a thread message would be lost there.
  if (HWND window = win::dispatcherWindow();
      window != nullptr && PostMessageW(window, win::kQuitRequestMessage, 0, 0)) {
    return;
  }
  PostThreadMessageW(win::mainThreadId(), win::kQuitRequestMessage, 0, 0);
}

bool MainLoop::iterate() {
  MSG msg;
  if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (msg.message == WM_QUIT) {
    gQuit.store(true);
    gQuitTaken = true;
    return true;
  }
  dispatch(msg);
  return true;
}

void MainLoop::quitOnTerminationSignals() {
  static std::once_flag once;
  std::call_once(once, [] { SetConsoleCtrlHandler(win::consoleControlHandler, TRUE); });
}

bool MainLoop::quitRequested() { return gQuit.load(); }

void MainLoop::resetForTesting() {
  while (iterate()) {
  }
  gQuit.store(false);
  gQuitTaken = false;
}

}  // namespace utility
