#include <gio/gio.h>

#include <string>

namespace nettest {

std::string defaultProxyResolverName() { return G_OBJECT_TYPE_NAME(g_proxy_resolver_get_default()); }

}  // namespace nettest
