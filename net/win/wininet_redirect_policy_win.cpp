#include "net/win/wininet_redirect_policy_win.h"

#include <windows.h>
#include <wininet.h>

#include <vector>

#include "net/wininet_errors.h"
#include "utility/system/log.h"

namespace net::wininet {

namespace {

constexpr const char* kLabel = "utility::CHttpClient::sendAndReceive";

// |location| resolved against |from| as a browser would, characters kept as sent.
std::wstring combined(const std::wstring& from, const std::wstring& location) {
  DWORD length = 0;
  InternetCombineUrlW(from.c_str(), location.c_str(), nullptr, &length, ICU_NO_ENCODE);
  if (length == 0) return location;
  std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
  length = static_cast<DWORD>(buffer.size());
  if (!InternetCombineUrlW(from.c_str(), location.c_str(), buffer.data(), &length, ICU_NO_ENCODE)) return location;
  return std::wstring(buffer.data(), length);
}

}  // namespace

bool isRedirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::wstring urlOf(const utility::CHttpClient::UrlParts& parts) {
  const std::wstring object = parts.objectName.empty() || parts.objectName.front() != L'/'
                                  ? L"/" + parts.objectName
                                  : parts.objectName;
  return parts.scheme + L"://" + parts.host + L":" + std::to_wstring(parts.port) + object;
}

int nextHop(const std::wstring& from, bool secure, bool httpsOnly, const std::wstring& location,
            utility::CHttpClient::UrlParts& next, std::wstring& nextUrl) {
  nextUrl = combined(from, location);
  int error = 0;
  int refused = 0;
  if (!utility::CHttpClient::crackUrl(nextUrl, next, error)) {
    refused = error == kInternetUnrecognizedScheme ? kHttpRedirectFailed : error;
  } else if (!next.secure && (secure || httpsOnly)) {
    refused = kInternetHttpsToHttpOnRedirect;
  }
  if (refused != 0) common::logPrint(kLabel, __LINE__, L"redirect to %s refused", nextUrl.c_str());
  return refused;
}

}  // namespace net::wininet
