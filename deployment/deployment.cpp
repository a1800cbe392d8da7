#include "deployment/deployment.h"

#include <atomic>

#include "utility/system/dev_overrides.h"

namespace deployment {

const std::wstring& LanguageTable::lookup(const std::wstring& language) const {
  for (const auto& [code, value] : byLanguage) {
    if (code == language) return value;
  }
  return otherwise;
}

namespace {

// The authority of a URL "https://authority/path" (empty when there is none).
std::wstring authorityOf(const std::wstring& url) {
  const auto start = url.find(L"://");
  if (start == std::wstring::npos) return {};
  const auto from = start + 3;
  const auto end = url.find(L'/', from);
  return url.substr(from, end == std::wstring::npos ? std::wstring::npos : end - from);
}

void replaceAuthority(std::wstring& url, const std::wstring& from, const std::wstring& to) {
  const auto start = url.find(L"://");
  if (start == std::wstring::npos || authorityOf(url) != from) return;
  url.replace(start + 3, from.size(), to);
}

std::atomic<const Values*> gTestValues{nullptr};

}  // namespace

Values withServicesAuthority(const Values& base, const std::wstring& authority) {
  const Values& compiled = compiledValues();
  const std::wstring standin = compiled.contentDeliveryHost;
  Values v = base;
  for (std::wstring* host : {&v.chinaResourceHost, &v.contentDeliveryHost, &v.collectionHost,
                             &v.analyticsHost, &v.licenceHost}) {
    if (*host == standin) *host = authority;
  }
  for (LanguageTable* table : {&v.homePages, &v.communityPages}) {
    for (auto& entry : table->byLanguage) replaceAuthority(entry.second, standin, authority);
    replaceAuthority(table->otherwise, standin, authority);
  }
  replaceAuthority(v.fallbackDownloadUrl, standin, authority);
  return v;
}

const Values& values() {
  if (const Values* test = gTestValues.load(std::memory_order_acquire)) return *test;
  static const Values kValues = [] {
    Values v = compiledValues();
    if (auto base = utility::devOverride("TARNWICK_SERVICES")) {
      // Accept "https://host:port" or "host:port".
      std::wstring authority(base->begin(), base->end());
      if (const auto p = authority.find(L"://"); p != std::wstring::npos) authority.erase(0, p + 3);
      while (!authority.empty() && authority.back() == L'/') authority.pop_back();
      if (!authority.empty()) v = withServicesAuthority(v, authority);
    }
    if (auto ca = utility::devOverride("TARNWICK_CA_BUNDLE")) v.caBundleFile = *ca;
    return v;
  }();
  return kValues;
}

void setValuesForTesting(const Values* values) {
  gTestValues.store(values, std::memory_order_release);
}

}  // namespace deployment
