#include <gio/gio.h>

#include <cstring>
#include <memory>

#include "net/proxy_env.h"
#include "net/proxy_resolver.h"

namespace net {

namespace {

struct StrvFree {
  void operator()(gchar** list) const { g_strfreev(list); }
};

// The desktop resolver's first usable answer for |url|: true with |proxy| empty for "direct",
// true with a proxy address, false when it has none (a failed lookup counts as direct).
bool desktopProxy(const std::string& url, std::string& proxy) {
  proxy.clear();
  std::unique_ptr<gchar*, StrvFree> found(
      g_proxy_resolver_lookup(g_proxy_resolver_get_default(), url.c_str(), nullptr, nullptr));
  if (!found) return true;
  for (gchar** entry = found.get(); *entry != nullptr; ++entry) {
    if (std::strcmp(*entry, "direct://") == 0) return true;
    // The kinds libcurl reaches a proxy by; GLib spells a SOCKS proxy of unknown version as
    // several entries, the first of them one of these.
    for (const char* scheme : {"http://", "https://", "socks5://", "socks4a://", "socks4://"}) {
      if (g_str_has_prefix(*entry, scheme)) {
        proxy = *entry;
        return true;
      }
    }
  }
  return false;
}

std::string schemeOf(const std::string& url) {
  const size_t end = url.find("://");
  return end == std::string::npos ? std::string() : url.substr(0, end);
}

}  // namespace

std::string proxyForUrl(const ProxyEnvironment& env, const std::string& scheme, const std::string& host) {
  const std::string proxy = chosenProxy(env, scheme);
  if (proxy.empty()) return {};
  std::vector<std::string> hosts = noProxyHosts(env.noProxy);
  std::vector<const gchar*> ignore;
  for (const std::string& entry : hosts) {
    if (entry == "*") return {};
    ignore.push_back(entry.c_str());
  }
  ignore.push_back(nullptr);
  // GLib's matching of ignored hosts: names with their sub-domains, addresses, ranges.
  GProxyResolver* resolver = g_simple_proxy_resolver_new(proxy.c_str(), const_cast<gchar**>(ignore.data()));
  std::string bare = host;
  if (bare.size() > 2 && bare.front() == '[' && bare.back() == ']') bare = bare.substr(1, bare.size() - 2);
  const bool v6 = bare.find(':') != std::string::npos;
  gchar* text = g_ascii_strdown((scheme + "://" + (v6 ? "[" + bare + "]" : bare) + "/").c_str(), -1);
  const std::string target = text;
  g_free(text);
  std::unique_ptr<gchar*, StrvFree> found(g_proxy_resolver_lookup(resolver, target.c_str(), nullptr, nullptr));
  g_object_unref(resolver);
  const bool direct = !found || found.get()[0] == nullptr || std::strcmp(found.get()[0], "direct://") == 0;
  return direct ? std::string() : proxy;
}

std::string proxyForRequest(const std::string& url) {
  std::string proxy;
  if (desktopProxy(url, proxy) && !proxy.empty()) return proxy;
  GUri* uri = g_uri_parse(url.c_str(), G_URI_FLAGS_NONE, nullptr);
  if (uri == nullptr) return {};
  const std::string host = g_uri_get_host(uri) != nullptr ? g_uri_get_host(uri) : "";
  g_uri_unref(uri);
  return proxyForUrl(ProxyEnvironment::fromProcess(), schemeOf(url), host);
}

std::string environmentProxyWhereDesktopIsDirect(const std::string& scheme, const std::string& host, int port) {
  const std::string proxy = proxyForUrl(ProxyEnvironment::fromProcess(), scheme, host);
  if (proxy.empty()) return {};
  const bool v6 = host.find(':') != std::string::npos;
  const std::string url = scheme + "://" + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port) + "/";
  std::string desktop;
  if (desktopProxy(url, desktop) && !desktop.empty()) return {};
  return proxy;
}

}  // namespace net
