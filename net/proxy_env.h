// Proxy settings named by the usual environment variables (http_proxy, https_proxy, all_proxy,
// no_proxy), for sessions whose system resolver ignores them (a desktop without a proxy set).
#pragma once

#include <string>

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
// sub-domains, a leading "." allowed), addresses, and optional ":port" suffixes, which are ignored.
std::string proxyForUrl(const ProxyEnvironment& env, const std::string& scheme, const std::string& host);

}  // namespace net
