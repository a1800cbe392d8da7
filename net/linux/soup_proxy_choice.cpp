#include "net/linux/soup_proxy_choice.h"

#include "net/linux/glib_handles.h"
#include "net/proxy_resolver.h"

namespace net::soup {

void chooseProxy(SoupSession* session, const std::string& scheme, const std::string& host, int port) {
  const std::string proxy = environmentProxyWhereDesktopIsDirect(scheme, host, port);
  if (proxy.empty()) return;
  GRef<GProxyResolver> resolver(g_simple_proxy_resolver_new(proxy.c_str(), nullptr));
  soup_session_set_proxy_resolver(session, resolver.get());
}

}  // namespace net::soup
