// The platform HTTP client on WinINet: one session per request (the system's proxy settings,
// INTERNET_OPEN_TYPE_PRECONFIG), run asynchronously while the caller's thread waits, so that a
// cancel from another thread, the overall deadline and the minimum rate end a transfer at once
// wherever it waits. Here the request, its hops and its read loop; the status callback, the
// pinned root, the redirect policy, the limits and the error texts live in the files beside it.
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>

#include "deployment/deployment.h"
#include "net/http_client.h"
#include "net/win/server_trust_win.h"
#include "net/win/wininet_error_map_win.h"
#include "net/win/wininet_exchange_win.h"
#include "net/win/wininet_handles_win.h"
#include "net/win/wininet_limits_win.h"
#include "net/win/wininet_redirect_policy_win.h"
#include "net/wininet_errors.h"
#include "utility/base/strings.h"
#include "utility/system/log.h"

namespace utility {

namespace {

using net::wininet::Exchange;
using net::wininet::InternetHandle;
using net::wininet::KernelHandle;
using net::wininet::PinnedRoots;
using net::wininet::TransferLimits;
using net::wininet::WaitEnd;

constexpr const char* kSendLabel = "utility::CHttpClient::sendAndReceive";

std::atomic<void (*)(CHttpClient*, CHttpClient::OpenStage)> gOpenHook{nullptr};

// Request lines as WinINet wants them: CR LF between lines (callers may separate with LF alone).
std::wstring headerLines(const std::wstring& lines) {
  std::wstring text;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] == L'\n' && (i == 0 || lines[i - 1] != L'\r')) text += L'\r';
    text += lines[i];
  }
  return text;
}

// The host as InternetConnect takes it (an IPv6 literal without its brackets).
std::wstring bareHost(const std::wstring& host) {
  if (host.size() > 2 && host.front() == L'[' && host.back() == L']') return host.substr(1, host.size() - 2);
  return host;
}

bool setTimeout(HINTERNET handle, DWORD option, unsigned seconds) {
  DWORD ms = seconds * 1000;
  return InternetSetOptionW(handle, option, &ms, sizeof(ms)) != FALSE;
}

// A query of a response header as text; false when the reply has none.
bool queryText(HINTERNET request, DWORD what, std::wstring& text) {
  DWORD size = 0;
  HttpQueryInfoW(request, what, nullptr, &size, nullptr);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return false;
  std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  if (!HttpQueryInfoW(request, what, buffer.data(), &size, nullptr)) return false;
  buffer.resize(size / sizeof(wchar_t));
  text = buffer;
  return true;
}

// Whether the raw reply |raw| (status line and headers, CR LF separated) holds a header line.
bool hasHeaderLine(const std::wstring& raw) {
  const size_t statusEnd = raw.find(L"\r\n");
  if (statusEnd == std::wstring::npos) return false;
  return raw.find(L':', statusEnd) != std::wstring::npos;
}

// -1 when the reply names no length (or one that is not a number).
int64_t contentLength(HINTERNET request) {
  std::wstring text;
  if (!queryText(request, HTTP_QUERY_CONTENT_LENGTH, text) || text.empty()) return -1;
  int64_t length = 0;
  for (const wchar_t c : text) {
    if (c < L'0' || c > L'9' || length > (INT64_MAX - 9) / 10) return -1;
    length = length * 10 + (c - L'0');
  }
  return length;
}

// One hop of a request: its connection handle, its request handle and the exchange they share
// with the status callback. Closed on every way out.
class Hop {
 public:
  Hop() = default;
  ~Hop() { close(); }
  Hop(const Hop&) = delete;
  Hop& operator=(const Hop&) = delete;

  // False with the system error code when a handle could not be made.
  bool open(HINTERNET session, const CHttpClient::UrlParts& parts, const std::wstring& headers, DWORD& error) {
    close();
    exchange_ = Exchange::create();
    if (exchange_ == nullptr) {
      error = GetLastError();
      return false;
    }
    exchange_->headers = headers;
    connection_.reset(InternetConnectW(session, bareHost(parts.host).c_str(), static_cast<INTERNET_PORT>(parts.port),
                                       nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection_) {
      error = GetLastError();
      return false;
    }
    const std::wstring object = parts.objectName.empty() || parts.objectName.front() != L'/'
                                    ? L"/" + parts.objectName
                                    : parts.objectName;
    const wchar_t* accept[] = {L"*/*", nullptr};
    // Fresh from the server, never cached, no cookies of the user's browser, no dialogs; every
    // redirect comes back here to be checked. Certificate checks all stay on.
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                  INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI;
    if (parts.secure) flags |= INTERNET_FLAG_SECURE;
    exchange_->retain();  // the request handle's reference, released when the handle closes
    request_ = HttpOpenRequestW(connection_.get(), L"GET", object.c_str(), L"HTTP/1.1", nullptr, accept, flags,
                                reinterpret_cast<DWORD_PTR>(exchange_));
    if (request_ == nullptr) {
      error = GetLastError();
      exchange_->release();
      return false;
    }
    return true;
  }

  void close() {
    if (request_ != nullptr) InternetCloseHandle(request_);
    request_ = nullptr;
    connection_.reset();
    if (exchange_ != nullptr) exchange_->release();
    exchange_ = nullptr;
  }

  HINTERNET request() const { return request_; }
  Exchange& exchange() const { return *exchange_; }

 private:
  InternetHandle connection_;
  HINTERNET request_ = nullptr;
  Exchange* exchange_ = nullptr;
};

}  // namespace

struct CHttpClient::Handle {
  InternetHandle session;
  KernelHandle cancelled;  // manual reset: set by abort(), never cleared
  std::unique_ptr<PinnedRoots> pinned;  // the deployment's own CA, if it has one
};

namespace {

// Waits for the pending call of |hop|, the cancel, or a limit. A call that WinINet leaves pending
// longer than the connect time-out (before a connection stood) or the receive time-out (after)
// ends as timed out: WinINet's own time-outs do not reach every asynchronous call.
WaitEnd waitFor(const Hop& hop, HANDLE cancelled, TransferLimits& limits, TransferLimits::Passed& passed) {
  using Clock = std::chrono::steady_clock;
  const CHttpClient::Timeouts idle = CHttpClient::timeouts();
  const auto start = Clock::now();
  const HANDLE events[] = {hop.exchange().completed(), cancelled};
  while (true) {
    const bool connected = hop.exchange().connected.load();
    const auto idleEnd = start + std::chrono::seconds(connected ? idle.receiveSeconds : idle.connectSeconds);
    const auto now = Clock::now();
    if (now >= idleEnd) return WaitEnd::kTimedOut;
    // Slices of at most a second: the connection may stand meanwhile, which changes the limit.
    const auto idleMs = std::chrono::ceil<std::chrono::milliseconds>(idleEnd - now).count();
    const DWORD slice = static_cast<DWORD>(std::min<int64_t>({idleMs, 1000, static_cast<int64_t>(limits.waitMs())}));
    const DWORD woken = WaitForMultipleObjects(2, events, FALSE, slice);
    if (woken == WAIT_OBJECT_0) return WaitEnd::kCompleted;
    if (woken == WAIT_OBJECT_0 + 1) return WaitEnd::kCancelled;
    if (woken != WAIT_TIMEOUT) return WaitEnd::kCancelled;
    passed = limits.check();
    if (passed != TransferLimits::Passed::kNone) return WaitEnd::kClock;
  }
}

bool isSet(HANDLE event) { return WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

}  // namespace

CHttpClient::CHttpClient() = default;

CHttpClient::~CHttpClient() { closeHandle(); }

bool CHttpClient::openUrl(const std::wstring& url, const std::wstring& headers, IHttpClientSink* sink) {
  if (auto hook = gOpenHook.load()) hook(this, OpenStage::kEntered);
  sink_ = sink;
  closeHandle();

  auto handle = std::make_unique<Handle>();
  handle->cancelled.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  handle->session.reset(InternetOpenW(L"", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, INTERNET_FLAG_ASYNC));
  if (!handle->cancelled || !handle->session ||
      InternetSetStatusCallbackW(handle->session.get(), net::wininet::onStatus) == INTERNET_INVALID_STATUS_CALLBACK) {
    const DWORD error = GetLastError();
    common::logPrint("utility::CHttpClient::openUrl", __LINE__, L"session not opened: %s",
                     net::wininet::errorText(error).c_str());
    reportError(kStepOpen, static_cast<int>(error));
    return false;
  }
  const Timeouts limits = timeouts();
  setTimeout(handle->session.get(), INTERNET_OPTION_CONNECT_TIMEOUT, limits.connectSeconds);
  setTimeout(handle->session.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, limits.receiveSeconds);
  setTimeout(handle->session.get(), INTERNET_OPTION_SEND_TIMEOUT, limits.receiveSeconds);
  const std::string& bundle = deployment::values().caBundleFile;
  if (!bundle.empty()) {
    std::wstring problem;
    handle->pinned = PinnedRoots::load(bundle, problem);
    if (!handle->pinned) {
      common::logPrint("utility::CHttpClient::openUrl", __LINE__, L"trusted roots %S not loaded: %s", bundle.c_str(),
                       problem.c_str());
      reportError(kStepOpen, net::kInternetSecurityChannelError);
      return false;
    }
  }

  UrlParts parts;
  int error = 0;
  if (!crackUrl(url, parts, error)) {
    if (error == net::kInternetUnrecognizedScheme) {
      common::logPrint("utility::CHttpClient::openUrl", __LINE__, L"address refused, only http and https allowed: %s",
                       url.c_str());
    }
    reportError(kStepCrackUrl, error);
    return false;
  }
  if (rules_.httpsOnly && !parts.secure) {
    common::logPrint("utility::CHttpClient::openUrl", __LINE__, L"plain http refused: %s", url.c_str());
    reportError(kStepCrackUrl, net::kInternetUnrecognizedScheme);
    return false;
  }
  scheme_ = parts.scheme;
  host_ = parts.host;
  port_ = parts.port;
  objectName_ = parts.objectName;
  headers_ = headers;
  secure_ = parts.secure;

  if (auto hook = gOpenHook.load()) hook(this, OpenStage::kBeforePublish);
  std::lock_guard<std::mutex> lock(handleMutex_);
  handle_ = handle.release();
  // Aborted before or while it was built: the request ends at once, without any traffic.
  if (aborted_) SetEvent(handle_->cancelled.get());
  return true;
}

bool CHttpClient::sendAndReceive() {
  Handle* handle = handle_;  // written only by this thread
  if (handle == nullptr || sink_ == nullptr) {
    reportError(kStepConnect, net::kInternetInternalError);
    return false;
  }
  const HANDLE cancelled = handle->cancelled.get();
  TransferLimits limits(rules_.deadline, rules_.minBytesPerSecond, rules_.minRateWindow);
  TransferLimits::Passed passed = TransferLimits::Passed::kNone;
  const auto logLimit = [&] {
    if (passed == TransferLimits::Passed::kDeadline) {
      common::logPrint(kSendLabel, __LINE__, L"no complete reply within %I64d ms",
                       static_cast<int64_t>(rules_.deadline.count()));
    } else if (passed == TransferLimits::Passed::kRate) {
      common::logPrint(kSendLabel, __LINE__, L"transfer below %I64d bytes per second for %I64d s",
                       static_cast<int64_t>(rules_.minBytesPerSecond),
                       static_cast<int64_t>(rules_.minRateWindow.count()));
    }
  };
  const auto sendFailed = [&](DWORD error, bool connected) {
    // Our own abort (leaving, shutting down) is no failure of the request: say so plainly.
    common::logPrint(kSendLabel, __LINE__,
                     isSet(cancelled) ? L"request cancelled at step %d: %s" : L"request failed at step %d: %s",
                     net::wininet::stepForSendError(error, connected), net::wininet::errorText(error).c_str());
    reportError(net::wininet::stepForSendError(error, connected), static_cast<int>(error));
    return false;
  };

  UrlParts parts{scheme_, host_, port_, objectName_, secure_};
  const std::wstring lines = headerLines(headers_);
  Hop hop;
  int status = 0;
  for (int redirects = 0;; ++redirects) {
    if (isSet(cancelled)) return sendFailed(net::kInternetOperationCancelled, false);
    DWORD error = 0;
    if (!hop.open(handle->session.get(), parts, lines, error)) return sendFailed(error, false);
    Exchange& exchange = hop.exchange();
    if (parts.secure && handle->pinned) {
      DWORD flags = 0;
      DWORD size = sizeof(flags);
      InternetQueryOptionW(hop.request(), INTERNET_OPTION_SECURITY_FLAGS, &flags, &size);
      flags |= PinnedRoots::kHandshakeFlags;
      InternetSetOptionW(hop.request(), INTERNET_OPTION_SECURITY_FLAGS, &flags, sizeof(flags));
    }
    ResetEvent(exchange.completed());
    BOOL sent = HttpSendRequestW(hop.request(), exchange.headers.empty() ? nullptr : exchange.headers.c_str(),
                                 static_cast<DWORD>(exchange.headers.size()), nullptr, 0);
    error = sent ? 0 : GetLastError();
    if (!sent && error == ERROR_IO_PENDING) {
      const WaitEnd end = waitFor(hop, cancelled, limits, passed);
      if (end == WaitEnd::kCancelled) return sendFailed(net::kInternetOperationCancelled, exchange.connected.load());
      if (end == WaitEnd::kTimedOut) return sendFailed(net::kInternetTimeout, exchange.connected.load());
      if (end == WaitEnd::kClock) {
        logLimit();
        const bool connected = exchange.connected.load();
        hop.close();
        reportError(connected ? kStepSendRequest : kStepConnect, net::kInternetTimeout);
        return false;
      }
      sent = exchange.result != 0;
      error = sent ? 0 : exchange.error;
    }
    if (!sent) return sendFailed(error, exchange.connected.load());

    // The server of a pinned deployment proves its chain before anything it sent is used.
    if (parts.secure && handle->pinned) {
      const int refused = handle->pinned->verifyServer(hop.request(), parts.host);
      if (refused != 0) {
        common::logPrint(kSendLabel, __LINE__, L"server certificate of %s refused: %s", parts.host.c_str(),
                         net::wininet::errorText(static_cast<DWORD>(refused)).c_str());
        reportError(kStepSendRequest, refused);
        return false;
      }
    }
    DWORD number = 0;
    DWORD size = sizeof(number);
    if (!HttpQueryInfoW(hop.request(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &number, &size, nullptr)) {
      reportError(kStepQueryStatus, static_cast<int>(GetLastError()));
      return false;
    }
    // WinINet takes a reply without a status line for an HTTP/0.9 one, makes up "HTTP/1.0 200 OK"
    // for it and hands its bytes over as a body: no such reply is a document. A real reply names
    // at least one header (its length, its date, its connection).
    std::wstring version;
    std::wstring raw;
    if (!queryText(hop.request(), HTTP_QUERY_VERSION, version) || version.rfind(L"HTTP/1.", 0) != 0 ||
        !queryText(hop.request(), HTTP_QUERY_RAW_HEADERS_CRLF, raw) || !hasHeaderLine(raw)) {
      common::logPrint(kSendLabel, __LINE__, L"reply without status line refused");
      reportError(kStepQueryStatus, net::kHttpInvalidServerResponse);
      return false;
    }
    status = static_cast<int>(number);
    std::wstring location;
    if (!net::wininet::isRedirect(status) || !queryText(hop.request(), HTTP_QUERY_LOCATION, location)) break;
    if (redirects >= net::wininet::kMaxRedirects) {
      common::logPrint(kSendLabel, __LINE__, L"redirect refused: more than %d hops", net::wininet::kMaxRedirects);
      reportError(kStepSendRequest, net::kHttpRedirectFailed);
      return false;
    }
    UrlParts next;
    std::wstring nextUrl;
    const int refused = net::wininet::nextHop(net::wininet::urlOf(parts), parts.secure, rules_.httpsOnly, location,
                                              next, nextUrl);
    if (refused != 0) {
      reportError(kStepSendRequest, refused);
      return false;
    }
    parts = next;
  }

  const HINTERNET request = hop.request();
  Exchange& exchange = hop.exchange();
  const int64_t length = contentLength(request);
  // A body without a length cannot be told from one cut short.
  if (rules_.delimitedBodyOnly && length < 0) {
    common::logPrint(kSendLabel, __LINE__, L"reply without length refused");
    return false;
  }
  net::ReplyFacts reply{.status = status, .contentLength = length};
  const auto headerText = [request](DWORD what) {
    std::wstring text;
    return queryText(request, what, text) ? utility::wideToUtf8(text) : std::string();
  };
  reply.acceptRanges = headerText(HTTP_QUERY_ACCEPT_RANGES);
  reply.etag = headerText(HTTP_QUERY_ETAG);
  reply.lastModified = headerText(HTTP_QUERY_LAST_MODIFIED);
  reply.contentRange = headerText(HTTP_QUERY_CONTENT_RANGE);
  if (!sink_->onHttpRecvReply(reply)) return false;

  int64_t received = 0;
  const auto readFailed = [&](DWORD error) {
    common::logPrint(kSendLabel, __LINE__, L"read failed: %s", net::wininet::errorText(error).c_str());
    return false;
  };
  // The end of the body: whole only when it has the announced length.
  const auto finish = [&] {
    if (length >= 0 && received != length) {
      common::logPrint(kSendLabel, __LINE__, L"body ended after %I64d of %I64d bytes", received, length);
      return false;
    }
    sink_->onHttpFinish();
    return true;
  };
  while (true) {
    if (isSet(cancelled)) return readFailed(net::kInternetOperationCancelled);
    passed = limits.check();
    if (passed != TransferLimits::Passed::kNone) {
      logLimit();
      return false;
    }
    // How much can be read without waiting; waits (cancellably) for the next bytes.
    exchange.available = 0;
    ResetEvent(exchange.completed());
    DWORD available = 0;
    if (InternetQueryDataAvailable(request, &exchange.available, 0, 0)) {
      available = exchange.available;
    } else {
      const DWORD error = GetLastError();
      if (error != ERROR_IO_PENDING) return readFailed(error);
      const WaitEnd end = waitFor(hop, cancelled, limits, passed);
      if (end == WaitEnd::kCancelled) return readFailed(net::kInternetOperationCancelled);
      if (end == WaitEnd::kTimedOut) return readFailed(net::kInternetTimeout);
      if (end == WaitEnd::kClock) {
        logLimit();
        return false;
      }
      if (exchange.result == 0) return readFailed(exchange.error);
      available = exchange.error;  // a completed query hands over the count here
    }
    if (available == 0) return finish();
    const DWORD wanted = std::min<DWORD>(available, static_cast<DWORD>(std::min(kReadChunk, Exchange::kBufferSize)));
    // The buffer and the count live in the exchange: a read that completes later still has them.
    exchange.bytesRead = 0;
    ResetEvent(exchange.completed());
    if (!InternetReadFile(request, exchange.buffer, wanted, &exchange.bytesRead)) {
      const DWORD error = GetLastError();
      if (error != ERROR_IO_PENDING) return readFailed(error);
      const WaitEnd end = waitFor(hop, cancelled, limits, passed);
      if (end == WaitEnd::kCancelled) return readFailed(net::kInternetOperationCancelled);
      if (end == WaitEnd::kTimedOut) return readFailed(net::kInternetTimeout);
      if (end == WaitEnd::kClock) {
        logLimit();
        return false;
      }
      if (exchange.result == 0) return readFailed(exchange.error);
    }
    const DWORD got = exchange.bytesRead;
    if (got == 0) return finish();
    received += got;
    limits.add(got);
    if (!sink_->onHttpRecvData(exchange.buffer, static_cast<int>(got))) return false;
  }
}

void CHttpClient::closeHandle() {
  Handle* handle = nullptr;
  {
    std::lock_guard<std::mutex> lock(handleMutex_);
    handle = handle_;
    handle_ = nullptr;
  }
  delete handle;
}

void CHttpClient::abort() {
  std::lock_guard<std::mutex> lock(handleMutex_);
  aborted_ = true;
  if (handle_ != nullptr) SetEvent(handle_->cancelled.get());
}

void CHttpClient::setOpenHookForTesting(void (*hook)(CHttpClient*, OpenStage)) { gOpenHook.store(hook); }

}  // namespace utility
