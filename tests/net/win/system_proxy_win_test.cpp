// The route libcurl takes on Windows: the system's proxy settings as WinINet reads them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "net/proxy_resolver.h"
#include "net/win/system_proxy_rules_win.h"
#include "utility/base/strings.h"

namespace {

using net::wininet::bypassesProxy;
using net::wininet::proxyFromList;

TEST(SystemProxyRules, TheListNamesAProxyPerScheme) {
  struct Case {
    const wchar_t* list;
    const wchar_t* scheme;
    const char* proxy;
  };
  const Case cases[] = {
      {L"", L"https", ""},
      {L"proxy:3128", L"https", "http://proxy:3128"},
      {L"proxy:3128", L"http", "http://proxy:3128"},
      {L"http=web:80;https=secure:443", L"https", "http://secure:443"},
      {L"http=web:80;https=secure:443", L"HTTP", "http://web:80"},
      {L"http=web:80", L"https", ""},
      {L"ftp=f:21 https=s:1", L"https", "http://s:1"},
      {L"https=s:1;fallback:8080", L"http", "http://fallback:8080"},
      {L"socks=sock:1080", L"https", "socks4://sock:1080"},
      {L"https=s:1;socks=sock:1080", L"https", "http://s:1"},
      {L"https=;proxy:1", L"https", "http://proxy:1"},
      {L"http://explicit:8000", L"https", "http://explicit:8000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(utility::wideToUtf8(std::wstring(c.list) + L" for " + c.scheme));
    EXPECT_EQ(proxyFromList(c.list, c.scheme), c.proxy);
  }
}

TEST(SystemProxyRules, TheBypassListSendsHostsPastTheProxy) {
  struct Case {
    const wchar_t* list;
    const wchar_t* host;
    bool bypassed;
  };
  const Case cases[] = {
      {L"", L"example.com", false},
      {L"", L"localhost", true},  // loopback is implied
      {L"", L"127.0.0.1", true},
      {L"", L"[::1]", true},
      {L"<-loopback>", L"localhost", false},
      {L"<-loopback>;localhost", L"localhost", true},
      {L"<local>", L"intranet", true},
      {L"<local>", L"intranet.example.com", false},
      {L"*.example.com", L"cdn.example.com", true},
      {L"*.example.com", L"example.com", false},
      {L"*.example.com", L"badexample.com", false},
      {L"example.com", L"EXAMPLE.com", true},
      {L"example.com", L"cdn.example.com", false},
      {L"10.*", L"10.1.2.3", true},
      {L"10.*", L"110.1.2.3", false},
      {L"other.org; *.example.com", L"a.example.com", true},
      {L"https://secure.example.com:443", L"secure.example.com", true},
      {L"*", L"anything.example", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(utility::wideToUtf8(std::wstring(c.list) + L" for " + c.host));
    EXPECT_EQ(bypassesProxy(c.list, c.host), c.bypassed);
  }
}

// The prefix the tests run in names no proxy: every address goes direct, whatever the
// environment says (WinINet does not read it, and libcurl takes WinINet's route).
TEST(SystemProxy, WithoutSystemSettingsEveryAddressGoesDirect) {
  _wputenv(L"https_proxy=http://127.0.0.1:9");
  _wputenv(L"http_proxy=http://127.0.0.1:9");
  for (const char* url : {"https://localhost:47443/x", "http://example.com/", "https://[::1]:1/"}) {
    SCOPED_TRACE(url);
    EXPECT_EQ(net::proxyForRequest(url), "");
  }
  _wputenv(L"https_proxy=");
  _wputenv(L"http_proxy=");
}

}  // namespace
