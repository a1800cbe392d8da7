#include <gtest/gtest.h>

#include "net/proxy_env.h"

namespace {

TEST(ProxyEnvironment, ChoosesTheProxyForTheSchemeUnlessTheHostIsExempt) {
  struct Case {
    net::ProxyEnvironment env;
    const char* scheme;
    const char* host;
    const char* proxy;
  };
  const Case cases[] = {
      {{}, "https", "example.com", ""},
      {{.httpsProxy = "http://p:3128"}, "https", "example.com", "http://p:3128"},
      {{.httpsProxy = "p:3128"}, "HTTPS", "example.com", "http://p:3128"},
      {{.httpsProxy = "http://p:3128"}, "http", "example.com", ""},
      {{.httpProxy = "http://h:80", .httpsProxy = "http://s:80"}, "http", "example.com", "http://h:80"},
      {{.allProxy = "http://a:1"}, "https", "example.com", "http://a:1"},
      {{.httpsProxy = "http://s:1", .allProxy = "http://a:1"}, "https", "example.com", "http://s:1"},
      {{.httpsProxy = "http://p:1", .noProxy = "*"}, "https", "example.com", ""},
      {{.httpsProxy = "http://p:1", .noProxy = "other.org, example.com"}, "https", "example.com", ""},
      {{.httpsProxy = "http://p:1", .noProxy = ".example.com"}, "https", "cdn.example.com", ""},
      {{.httpsProxy = "http://p:1", .noProxy = "example.com"}, "https", "cdn.example.com", ""},
      {{.httpsProxy = "http://p:1", .noProxy = "example.com"}, "https", "badexample.com", "http://p:1"},
      {{.httpsProxy = "http://p:1", .noProxy = "127.0.0.1:47443"}, "https", "127.0.0.1", ""},
      {{.httpsProxy = "http://p:1", .noProxy = "[::1]"}, "https", "[::1]", ""},
      {{.httpsProxy = "http://p:1", .noProxy = "EXAMPLE.com"}, "https", "Example.COM", ""},
      {{.httpsProxy = "http://p:1", .noProxy = "*.example.com"}, "https", "cdn.example.com", ""},
      {{.httpsProxy = "http://p:1", .noProxy = "10.0.0.0/8"}, "https", "10.1.2.3", ""},
      {{.httpsProxy = "http://p:1", .noProxy = "10.0.0.0/8"}, "https", "11.1.2.3", "http://p:1"},
      {{.httpsProxy = "http://p:1", .noProxy = " , "}, "https", "example.com", "http://p:1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.scheme) + "://" + c.host + " no_proxy=" + c.env.noProxy);
    EXPECT_EQ(net::proxyForUrl(c.env, c.scheme, c.host), c.proxy);
  }
}

}  // namespace
