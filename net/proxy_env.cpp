#include "net/proxy_env.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace net {

namespace {

std::string variable(const char* lower, const char* upper) {
  if (const char* v = std::getenv(lower); v != nullptr && v[0] != '\0') return v;
  if (upper != nullptr) {
    if (const char* v = std::getenv(upper); v != nullptr && v[0] != '\0') return v;
  }
  return {};
}

std::string lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

// "host", "host:port", "[v6]:port" -> the host part.
std::string entryHost(std::string entry) {
  if (!entry.empty() && entry.front() == '[') {
    const auto close = entry.find(']');
    return close == std::string::npos ? entry.substr(1) : entry.substr(1, close - 1);
  }
  if (std::count(entry.begin(), entry.end(), ':') == 1) entry.erase(entry.find(':'));
  return entry;
}

bool excluded(const std::string& noProxy, std::string host) {
  host = lowered(host);
  if (!host.empty() && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  size_t start = 0;
  while (start <= noProxy.size()) {
    size_t end = noProxy.find(',', start);
    if (end == std::string::npos) end = noProxy.size();
    std::string entry = lowered(trimmed(noProxy.substr(start, end - start)));
    start = end + 1;
    if (entry.empty()) continue;
    if (entry == "*") return true;
    entry = entryHost(entry);
    if (!entry.empty() && entry.front() == '.') entry.erase(0, 1);
    if (entry.empty()) continue;
    if (host == entry) return true;
    if (host.size() > entry.size() && host.compare(host.size() - entry.size(), entry.size(), entry) == 0 &&
        host[host.size() - entry.size() - 1] == '.') {
      return true;
    }
  }
  return false;
}

}  // namespace

ProxyEnvironment ProxyEnvironment::fromProcess() {
  ProxyEnvironment env;
  env.httpProxy = variable("http_proxy", nullptr);
  env.httpsProxy = variable("https_proxy", "HTTPS_PROXY");
  env.allProxy = variable("all_proxy", "ALL_PROXY");
  env.noProxy = variable("no_proxy", "NO_PROXY");
  return env;
}

std::string proxyForUrl(const ProxyEnvironment& env, const std::string& scheme, const std::string& host) {
  const std::string lowerScheme = lowered(scheme);
  std::string proxy = lowerScheme == "https" ? env.httpsProxy : (lowerScheme == "http" ? env.httpProxy : "");
  if (proxy.empty()) proxy = env.allProxy;
  proxy = trimmed(proxy);
  if (proxy.empty() || excluded(env.noProxy, host)) return {};
  if (proxy.find("://") == std::string::npos) proxy = "http://" + proxy;
  return proxy;
}

}  // namespace net
