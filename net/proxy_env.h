// Proxy settings named by the usual environment variables (http_proxy, https_proxy, all_proxy,
// no_proxy), for sessions whose system resolver ignores them (a desktop without a proxy set).
#pragma once

#include <string>
#include <vector>

namespace net {

struct ProxyEnvironment {
  std::string httpProxy{};   // http_proxy (the upper-case form is ignored, as curl does)
  std::string httpsProxy{};  // https_proxy, else HTTPS_PROXY
  std::string allProxy{};    // all_proxy, else ALL_PROXY
  std::string noProxy{};     // no_proxy, else NO_PROXY

  static ProxyEnvironment fromProcess();
};

// The proxy URL ("http://host:port") for a request to |scheme|://|host|, or empty for a direct
// connection. no_proxy holds "*" or comma-separated host names (matching the host and its
// sub-domains, a leading "." or "*." allowed), addresses, address ranges ("10.0.0.0/8"), and
// optional ":port" suffixes, which are ignored. The matching is GLib's (proxy_resolver_glib.cpp).
std::string proxyForUrl(const ProxyEnvironment& env, const std::string& scheme, const std::string& host);

// The parts proxyForUrl is made of: the proxy named for |scheme| (all_proxy when none is named
// for it; "http://" added when the text names no scheme), and the no_proxy entries as host
// patterns, lower case, without ports.
std::string chosenProxy(const ProxyEnvironment& env, const std::string& scheme);
std::vector<std::string> noProxyHosts(const std::string& noProxy);

}  // namespace net
