// The route libcurl takes on Windows: the system's proxy settings, the ones WinINet follows
// (INTERNET_OPEN_TYPE_PRECONFIG), read through WinHTTP: automatic detection and a configuration
// script where the settings ask for them, else the proxy and bypass lists they name. The
// environment's proxy variables are not the system's settings here and do not count (WinINet
// does not read them either), so both stacks take one route.
#include <windows.h>
#include <winhttp.h>

#include <string>

#include "net/proxy_resolver.h"
#include "net/win/system_proxy_rules_win.h"
#include "utility/base/strings.h"

namespace net {

namespace {

// Owns the strings WinHTTP hands out.
struct GlobalText {
  wchar_t* text = nullptr;
  ~GlobalText() {
    if (text != nullptr) GlobalFree(text);
  }
  std::wstring value() const { return text != nullptr ? std::wstring(text) : std::wstring(); }
};

struct Route {
  std::wstring proxies;  // empty: direct
  std::wstring bypass;
};

// What an automatic configuration (detection, a script) says for |url|; false when there is
// none or it cannot be had (the named settings then count).
bool automaticRoute(const std::wstring& url, bool detect, const std::wstring& script, Route& route) {
  HINTERNET session = WinHttpOpen(L"", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
  if (session == nullptr) return false;
  WINHTTP_AUTOPROXY_OPTIONS options{};
  if (detect) {
    options.dwFlags |= WINHTTP_AUTOPROXY_AUTO_DETECT;
    options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
  }
  if (!script.empty()) {
    options.dwFlags |= WINHTTP_AUTOPROXY_CONFIG_URL;
    options.lpszAutoConfigUrl = script.c_str();
  }
  options.fAutoLogonIfChallenged = TRUE;
  WINHTTP_PROXY_INFO info{};
  const bool found = WinHttpGetProxyForUrl(session, url.c_str(), &options, &info) != FALSE;
  GlobalText proxies{info.lpszProxy};
  GlobalText bypass{info.lpszProxyBypass};
  WinHttpCloseHandle(session);
  if (!found) return false;
  route.proxies = info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY ? proxies.value() : std::wstring();
  route.bypass = bypass.value();
  return true;
}

Route systemRoute(const std::wstring& url) {
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG settings{};
  if (!WinHttpGetIEProxyConfigForCurrentUser(&settings)) return {};
  GlobalText script{settings.lpszAutoConfigUrl};
  GlobalText proxies{settings.lpszProxy};
  GlobalText bypass{settings.lpszProxyBypass};
  Route route;
  if ((settings.fAutoDetect || !script.value().empty()) &&
      automaticRoute(url, settings.fAutoDetect != FALSE, script.value(), route)) {
    return route;
  }
  return {proxies.value(), bypass.value()};
}

}  // namespace

std::string proxyForRequest(const std::string& url) {
  const std::wstring wide = utility::utf8ToWide(url);
  const size_t schemeEnd = wide.find(L"://");
  if (schemeEnd == std::wstring::npos) return {};
  const Route route = systemRoute(wide);
  if (route.proxies.empty()) return {};
  // The host of the address, as the bypass list names hosts.
  const size_t start = schemeEnd + 3;
  size_t end = wide.find_first_of(L"/?#", start);
  if (end == std::wstring::npos) end = wide.size();
  std::wstring host = wide.substr(start, end - start);
  if (const size_t at = host.rfind(L'@'); at != std::wstring::npos) host.erase(0, at + 1);
  if (!host.empty() && host.front() == L'[') {
    host = host.substr(0, host.find(L']') + 1);
  } else if (const size_t colon = host.find(L':'); colon != std::wstring::npos) {
    host.erase(colon);
  }
  if (wininet::bypassesProxy(route.bypass, host)) return {};
  return wininet::proxyFromList(route.proxies, wide.substr(0, schemeEnd));
}

std::string environmentProxyWhereDesktopIsDirect(const std::string&, const std::string&, int) {
  // The system's settings are the only route on Windows (see above).
  return {};
}

}  // namespace net
