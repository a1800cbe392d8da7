// The parts of the client that do not depend on the platform's HTTP stack.
#include <atomic>

#include "net/http_client.h"
#include "net/wininet_errors.h"

namespace utility {

namespace {

std::atomic<const CHttpClient::Timeouts*> gTestTimeouts{nullptr};

std::wstring lowered(std::wstring text) {
  for (wchar_t& c : text) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return text;
}

}  // namespace

CHttpClient::Timeouts CHttpClient::timeouts() {
  if (const Timeouts* test = gTestTimeouts.load(std::memory_order_acquire)) return *test;
  return Timeouts{};
}

void CHttpClient::setTimeoutsForTesting(const Timeouts* timeouts) {
  gTestTimeouts.store(timeouts, std::memory_order_release);
}

bool CHttpClient::crackUrl(const std::wstring& url, UrlParts& parts, int& error) {
  parts = UrlParts{};
  const size_t schemeEnd = url.find(L"://");
  if (schemeEnd == std::wstring::npos || schemeEnd == 0) {
    error = net::kInternetUnrecognizedScheme;
    return false;
  }
  parts.scheme = lowered(url.substr(0, schemeEnd));
  if (parts.scheme == L"http") {
    parts.port = 80;
  } else if (parts.scheme == L"https") {
    parts.port = 443;
    parts.secure = true;
  } else {
    error = net::kInternetUnrecognizedScheme;
    return false;
  }
  const size_t authorityStart = schemeEnd + 3;
  size_t authorityEnd = url.find_first_of(L"/?#", authorityStart);
  if (authorityEnd == std::wstring::npos) authorityEnd = url.size();
  std::wstring authority = url.substr(authorityStart, authorityEnd - authorityStart);
  if (const size_t at = authority.rfind(L'@'); at != std::wstring::npos) authority.erase(0, at + 1);

  std::wstring portText;
  if (!authority.empty() && authority.front() == L'[') {  // an IPv6 literal
    const size_t close = authority.find(L']');
    if (close == std::wstring::npos) {
      error = net::kInternetInvalidUrl;
      return false;
    }
    parts.host = authority.substr(0, close + 1);
    if (close + 1 < authority.size()) {
      if (authority[close + 1] != L':') {
        error = net::kInternetInvalidUrl;
        return false;
      }
      portText = authority.substr(close + 2);
    }
  } else {
    const size_t colon = authority.find(L':');
    parts.host = authority.substr(0, colon);
    if (colon != std::wstring::npos) portText = authority.substr(colon + 1);
  }
  if (parts.host.empty()) {
    error = net::kInternetInvalidUrl;
    return false;
  }
  if (parts.host.size() > kMaxHostLength) {
    error = net::kErrorInsufficientBuffer;
    return false;
  }
  if (!portText.empty()) {
    long port = 0;
    for (const wchar_t c : portText) {
      if (c < L'0' || c > L'9' || port > 65535) {
        error = net::kInternetInvalidUrl;
        return false;
      }
      port = port * 10 + (c - L'0');
    }
    if (port < 1 || port > 65535) {
      error = net::kInternetInvalidUrl;
      return false;
    }
    parts.port = static_cast<int>(port);
  }
  parts.objectName = url.substr(authorityEnd);
  error = 0;
  return true;
}

void CHttpClient::reportError(int step, int systemError) {
  if (sink_ != nullptr) sink_->onHttpError(step, systemError);
}

}  // namespace utility
