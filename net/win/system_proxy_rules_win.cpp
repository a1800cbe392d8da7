#include "net/win/system_proxy_rules_win.h"

#include <vector>

#include "utility/base/strings.h"

namespace net::wininet {

namespace {

std::wstring lowered(std::wstring text) {
  for (wchar_t& c : text) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return text;
}

// The entries of a list separated by ";", "," or white space.
std::vector<std::wstring> entriesOf(const std::wstring& list) {
  std::vector<std::wstring> entries;
  std::wstring entry;
  for (const wchar_t c : list) {
    if (c == L';' || c == L',' || c == L' ' || c == L'\t' || c == L'\r' || c == L'\n') {
      if (!entry.empty()) entries.push_back(entry);
      entry.clear();
    } else {
      entry += c;
    }
  }
  if (!entry.empty()) entries.push_back(entry);
  return entries;
}

// |text| against |pattern|, where "*" stands for any run of characters.
bool wildcardMatch(const std::wstring& pattern, const std::wstring& text) {
  size_t p = 0;
  size_t t = 0;
  size_t star = std::wstring::npos;
  size_t resume = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == L'*') {
      star = p++;
      resume = t;
    } else if (p < pattern.size() && pattern[p] == text[t]) {
      ++p;
      ++t;
    } else if (star != std::wstring::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == L'*') ++p;
  return p == pattern.size();
}

std::wstring withoutBrackets(const std::wstring& host) {
  if (host.size() > 2 && host.front() == L'[' && host.back() == L']') return host.substr(1, host.size() - 2);
  return host;
}

bool isLoopback(const std::wstring& host) {
  return host == L"localhost" || host == L"::1" || host.rfind(L"127.", 0) == 0 || host == L"loopback";
}

// A bypass entry without a scheme in front or a port behind.
std::wstring hostPattern(std::wstring entry) {
  if (const size_t scheme = entry.find(L"://"); scheme != std::wstring::npos) entry.erase(0, scheme + 3);
  if (!entry.empty() && entry.front() == L'[') {
    const size_t close = entry.find(L']');
    return close == std::wstring::npos ? entry.substr(1) : entry.substr(1, close - 1);
  }
  if (const size_t colon = entry.find(L':'); colon != std::wstring::npos && entry.find(L':', colon + 1) == std::wstring::npos) {
    entry.erase(colon);
  }
  return entry;
}

}  // namespace

std::string proxyFromList(const std::wstring& proxyList, const std::wstring& scheme) {
  const std::wstring wanted = lowered(scheme);
  std::wstring forAll;
  std::wstring forScheme;
  std::wstring socks;
  for (const std::wstring& entry : entriesOf(proxyList)) {
    const size_t equals = entry.find(L'=');
    if (equals == std::wstring::npos) {
      if (forAll.empty()) forAll = entry;
      continue;
    }
    const std::wstring kind = lowered(entry.substr(0, equals));
    const std::wstring address = entry.substr(equals + 1);
    if (address.empty()) continue;
    if (kind == wanted && forScheme.empty()) forScheme = address;
    if (kind == L"socks" && socks.empty()) socks = address;
  }
  std::wstring chosen = !forScheme.empty() ? forScheme : forAll;
  std::wstring prefix = L"http://";
  if (chosen.empty() && !socks.empty()) {
    chosen = socks;
    prefix = L"socks4://";  // the system's "socks=" entries name SOCKS 4 proxies
  }
  if (chosen.empty()) return {};
  if (chosen.find(L"://") == std::wstring::npos) chosen = prefix + chosen;
  return utility::wideToUtf8(chosen);
}

bool bypassesProxy(const std::wstring& bypassList, const std::wstring& host) {
  const std::wstring name = lowered(withoutBrackets(host));
  bool loopbackImplied = true;
  for (const std::wstring& raw : entriesOf(bypassList)) {
    const std::wstring entry = lowered(raw);
    if (entry == L"<-loopback>") loopbackImplied = false;
  }
  if (loopbackImplied && isLoopback(name)) return true;
  for (const std::wstring& raw : entriesOf(bypassList)) {
    const std::wstring entry = lowered(raw);
    if (entry == L"<-loopback>") continue;
    if (entry == L"<local>") {
      if (name.find(L'.') == std::wstring::npos && name.find(L':') == std::wstring::npos) return true;
      continue;
    }
    const std::wstring pattern = hostPattern(entry);
    if (!pattern.empty() && wildcardMatch(pattern, name)) return true;
  }
  return false;
}

}  // namespace net::wininet
