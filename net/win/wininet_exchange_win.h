// One request of the WinINet client, run asynchronously so that the transfer's own thread can
// stop waiting at once: a synchronous WinINet call blocked in a socket read is not ended by
// closing its handle from another thread (Wine leaves it waiting until its receive time-out).
// The request's thread waits on the completion of each call, on the client's cancel event and
// on its own clock (deadline, minimum rate); the status callback runs on WinINet's threads.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>

#include "net/win/wininet_handles_win.h"

namespace net::wininet {

// Installed once on every session: hands completions to the exchange named by the request
// handle's context.
void CALLBACK onStatus(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info, DWORD length);

// What one request handle shares with the status callback. WinINet may still call back after
// the request's thread has given up on it (a cancelled read finishes on WinINet's thread when its
// socket call returns), so the exchange lives until both have let go of it: the request's thread
// and the handle (released by INTERNET_STATUS_HANDLE_CLOSING).
class Exchange {
 public:
  static constexpr size_t kBufferSize = 32768;

  // A new exchange with one reference for the caller; null when no event could be made.
  static Exchange* create();
  void retain() { refs_.fetch_add(1); }
  void release();

  HANDLE completed() const { return completed_.get(); }
  // Set by the callback before |completed| is signalled; read after the wait.
  DWORD_PTR result = 0;
  DWORD error = 0;
  // A connection to the server (or the proxy) stood.
  std::atomic<bool> connected{false};
  // Request lines, the read buffer and every count a call writes stay here: a call that the
  // request's thread gave up on (cancel, a limit) completes later on WinINet's thread and still
  // writes them (Wine writes a pending query's count after the fact).
  std::wstring headers;
  char buffer[kBufferSize];
  DWORD bytesRead = 0;
  DWORD available = 0;

 private:
  Exchange() = default;
  KernelHandle completed_;
  std::atomic<int> refs_{1};
};

// How a wait for a pending call ended.
enum class WaitEnd { kCompleted, kCancelled, kClock, kTimedOut };

}  // namespace net::wininet
