#include "net/proxy_env.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <vector>

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

}  // namespace

ProxyEnvironment ProxyEnvironment::fromProcess() {
  ProxyEnvironment env;
  env.httpProxy = variable("http_proxy", nullptr);
  env.httpsProxy = variable("https_proxy", "HTTPS_PROXY");
  env.allProxy = variable("all_proxy", "ALL_PROXY");
  env.noProxy = variable("no_proxy", "NO_PROXY");
  return env;
}

std::string chosenProxy(const ProxyEnvironment& env, const std::string& scheme) {
  const std::string lowerScheme = lowered(scheme);
  std::string proxy = lowerScheme == "https" ? env.httpsProxy : (lowerScheme == "http" ? env.httpProxy : "");
  if (proxy.empty()) proxy = env.allProxy;
  proxy = trimmed(proxy);
  if (!proxy.empty() && proxy.find("://") == std::string::npos) proxy = "http://" + proxy;
  return proxy;
}

std::vector<std::string> noProxyHosts(const std::string& noProxy) {
  std::vector<std::string> hosts;
  size_t start = 0;
  while (start <= noProxy.size()) {
    size_t end = noProxy.find(',', start);
    if (end == std::string::npos) end = noProxy.size();
    std::string entry = trimmed(noProxy.substr(start, end - start));
    start = end + 1;
    // A port narrows nothing here: "host:port" and "[v6]:port" stand for the host.
    if (!entry.empty() && entry.front() == '[') {
      const auto close = entry.find(']');
      entry = close == std::string::npos ? entry.substr(1) : entry.substr(1, close - 1);
    } else if (std::count(entry.begin(), entry.end(), ':') == 1) {
      entry.erase(entry.find(':'));
    }
    if (!entry.empty()) hosts.push_back(lowered(entry));
  }
  return hosts;
}

}  // namespace net
