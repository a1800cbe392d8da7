#include "net/win/wininet_error_map_win.h"

#include <wininet.h>

#include "net/http_client.h"
#include "net/wininet_errors.h"

namespace net::wininet {

int stepForSendError(DWORD error, bool connected) {
  using utility::CHttpClient;
  switch (static_cast<int>(error)) {
    case kInternetNameNotResolved:
    case kInternetCannotConnect:
      return CHttpClient::kStepConnect;
    case kInternetTimeout:
    case kInternetConnectionAborted:
    case kInternetConnectionReset:
      return connected ? CHttpClient::kStepSendRequest : CHttpClient::kStepConnect;
    default:
      return CHttpClient::kStepSendRequest;
  }
}

std::wstring errorText(DWORD error) {
  wchar_t* text = nullptr;
  DWORD length = 0;
  if (error >= INTERNET_ERROR_BASE && error <= INTERNET_ERROR_LAST) {
    length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                            GetModuleHandleW(L"wininet.dll"), error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  } else {
    length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                            nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  }
  std::wstring result = length > 0 && text != nullptr ? std::wstring(text, length) : std::wstring();
  if (text != nullptr) LocalFree(text);
  while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r' || result.back() == L' ' ||
                             result.back() == L'.')) {
    result.pop_back();
  }
  if (result.empty()) result = L"error " + std::to_wstring(error);
  return result;
}

}  // namespace net::wininet
