// The grammar of the system's proxy settings (Internet Options, what WinINet follows): a proxy
// list ("host:port" for every scheme, or "http=host:port;https=host:port;socks=host:port") and a
// bypass list ("*.example.com;10.*;<local>", loopback implied unless "<-loopback>"), as libcurl
// needs them for one address.
#pragma once

#include <string>

namespace net::wininet {

// The proxy of |proxyList| for |scheme| ("http" or "https") as libcurl names it
// ("http://host:port", "socks4://host:port"); empty when the list names none for it.
std::string proxyFromList(const std::wstring& proxyList, const std::wstring& scheme);

// Whether |bypassList| sends a request to |host| (a name or an address, an IPv6 one in brackets
// or not) past the proxy.
bool bypassesProxy(const std::wstring& bypassList, const std::wstring& host);

}  // namespace net::wininet
