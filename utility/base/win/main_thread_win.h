// What the Win32 main loop and the task dispatcher share: the main thread and the request to end
// its loop.
#pragma once

#include <windows.h>

namespace utility::win {

// Asks the main thread to call PostQuitMessage: WM_QUIT belongs to the queue of the thread that
// posts it, so another thread cannot post it for the loop itself.
inline constexpr UINT kQuitRequestMessage = WM_APP + 1;

// The thread that started the process, whose loop MainLoop runs; its message queue exists from
// the process's start, so a request posted to it before the loop runs is kept.
DWORD mainThreadId();

// The dispatcher's window, or null before TaskDispatcher::create (or when it could not be made).
HWND dispatcherWindow();

// What a console control event does to the loop: Ctrl+C, Ctrl+Break, closing the console,
// logging off and shutting down end it as closing the window would (posted to the main thread).
// False for events that are not ours to handle.
bool endLoopOnConsoleControl(DWORD event);

// The handler MainLoop::quitOnTerminationSignals registers. For closing, logging off and shutting
// down it does not return: the system ends the process when it does, and the loop's orderly end
// is to run first (the process's own exit ends the handler's thread).
BOOL WINAPI consoleControlHandler(DWORD event);

}  // namespace utility::win
