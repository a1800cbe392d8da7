#include "net/win/wininet_exchange_win.h"

namespace net::wininet {

Exchange* Exchange::create() {
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (event == nullptr) return nullptr;
  auto* exchange = new Exchange();
  exchange->completed_.reset(event);
  return exchange;
}

void Exchange::release() {
  if (refs_.fetch_sub(1) == 1) delete this;
}

void CALLBACK onStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD) {
  auto* exchange = reinterpret_cast<Exchange*>(context);
  if (exchange == nullptr) return;
  switch (status) {
    case INTERNET_STATUS_CONNECTED_TO_SERVER:
      exchange->connected.store(true);
      break;
    case INTERNET_STATUS_REQUEST_COMPLETE: {
      const auto* outcome = static_cast<const INTERNET_ASYNC_RESULT*>(info);
      exchange->result = outcome != nullptr ? outcome->dwResult : 0;
      exchange->error = outcome != nullptr ? outcome->dwError : ERROR_INTERNET_INTERNAL_ERROR;
      SetEvent(exchange->completed());
      break;
    }
    case INTERNET_STATUS_HANDLE_CLOSING:
      exchange->release();  // the request handle's reference
      break;
    default:
      break;
  }
}

}  // namespace net::wininet
