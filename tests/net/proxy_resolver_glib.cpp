#include <gio/gio.h>

#include <string>

namespace nettest {

std::string defaultProxyResolverName() { return G_OBJECT_TYPE_NAME(g_proxy_resolver_get_default()); }

void setDesktopProxy(const std::string& mode, const std::string& host, int port) {
  GSettings* proxy = g_settings_new("org.gnome.system.proxy");
  g_settings_set_string(proxy, "mode", mode.c_str());
  // The desktop's default leaves loopback out; the stand-in services live there.
  const gchar* const none[] = {nullptr};
  g_settings_set_strv(proxy, "ignore-hosts", none);
  for (const char* scheme : {"http", "https"}) {
    GSettings* child = g_settings_get_child(proxy, scheme);
    g_settings_set_string(child, "host", host.c_str());
    g_settings_set_int(child, "port", port);
    g_object_unref(child);
  }
  g_settings_sync();
  g_object_unref(proxy);
  // The resolver hears of the change on the default context.
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
}

}  // namespace nettest
