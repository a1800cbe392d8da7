// WinINet's error codes as the client reports them: the step a failed request belongs to, and
// the system's own text for the log.
#pragma once

#include <windows.h>

#include <string>

namespace net::wininet {

// The step (CHttpClient::kStep...) of a request that failed with |error| while it was being sent
// or answered: before a connection stood, one that names the route (resolving, connecting, a
// time-out) belongs to the connect.
int stepForSendError(DWORD error, bool connected);

// The system's text for a WinINet or system error code, without its line end ("The operation
// timed out"); the number when the system has none.
std::wstring errorText(DWORD error);

}  // namespace net::wininet
