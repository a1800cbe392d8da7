// The route a request takes: the desktop's proxy settings first (GProxyResolver, the resolver
// the platform client's sessions use), then the proxy environment variables.
#pragma once

#include <string>

namespace net {

// The proxy ("scheme://host:port") for a request to |url|, empty for a direct connection. What
// the desktop's resolver names wins; when it says "direct", the environment's proxy counts
// (proxyForUrl, proxy_env.h), as it does for the platform client.
std::string proxyForRequest(const std::string& url);

// Only the environment's part: the proxy it names for |scheme|://|host|:|port| when the
// desktop's resolver says "direct"; empty otherwise.
std::string environmentProxyWhereDesktopIsDirect(const std::string& scheme, const std::string& host, int port);

}  // namespace net
