// The redirect policy of the WinINet client. WinINet's own redirects are off
// (INTERNET_FLAG_NO_AUTO_REDIRECT): it follows https to http even when told not to, so every hop
// is taken here and checked before it is requested.
#pragma once

#include <string>

#include "net/http_client.h"

namespace net::wininet {

// At most this many hops per request (libsoup's limit on the other platform).
inline constexpr int kMaxRedirects = 20;

// Whether |status| asks to fetch another address with GET.
bool isRedirect(int status);

// The next hop of a request at |from| (an http or https address) redirected to |location|
// (absolute or relative): |next| and |nextUrl| when it may be requested, and 0; else the Windows
// Internet error code of the refusal, logged. Only http and https are followed, never from
// https back to plain http (the certificate check would be gone), and https only when
// |httpsOnly|.
int nextHop(const std::wstring& from, bool secure, bool httpsOnly, const std::wstring& location,
            utility::CHttpClient::UrlParts& next, std::wstring& nextUrl);

// "scheme://host:port/object" of |parts|.
std::wstring urlOf(const utility::CHttpClient::UrlParts& parts);

}  // namespace net::wininet
