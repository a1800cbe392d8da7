// The platform HTTP client on libsoup 3: one session per request, used synchronously on the
// caller's thread with a main context of its own; a GCancellable lets another thread end it.
// Here the request and its read loop; the session, the route, the redirect policy, the error
// mapping and the watch threads live in the soup_* files beside it.
#include <gio/gio.h>
#include <libsoup/soup.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "net/http_client.h"
#include "net/linux/glib_handles.h"
#include "net/linux/soup_error_map.h"
#include "net/linux/soup_proxy_choice.h"
#include "net/linux/soup_redirect_policy.h"
#include "net/linux/soup_session.h"
#include "net/linux/soup_watchdogs.h"
#include "net/wininet_errors.h"
#include "utility/system/log.h"
#include "utility/base/strings.h"

namespace utility {

namespace {

using net::soup::ContextScope;
using net::soup::ErrorHolder;
using net::soup::GRef;

std::atomic<void (*)(CHttpClient*, CHttpClient::OpenStage)> gOpenHook{nullptr};

// Adds "Name: value" lines (CR LF or LF separated) to the request.
void appendHeaderLines(SoupMessageHeaders* headers, const std::wstring& lines) {
  const std::string text = wideToUtf8(lines);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0) continue;
    std::string name = line.substr(0, colon);
    std::string value = line.substr(colon + 1);
    const size_t first = value.find_first_not_of(" \t");
    value = first == std::string::npos ? std::string() : value.substr(first);
    soup_message_headers_append(headers, name.c_str(), value.c_str());
  }
}

}  // namespace

struct CHttpClient::Handle {
  GMainContext* context = nullptr;
  SoupSession* session = nullptr;
  GCancellable* cancellable = nullptr;

  Handle() : context(g_main_context_new()), cancellable(g_cancellable_new()) {}
  ~Handle() {
    if (session != nullptr) {
      ContextScope scope(context);
      g_object_unref(session);
      while (g_main_context_iteration(context, FALSE)) {
      }
    }
    g_object_unref(cancellable);
    g_main_context_unref(context);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
};

CHttpClient::CHttpClient() = default;

CHttpClient::~CHttpClient() { closeHandle(); }

bool CHttpClient::openUrl(const std::wstring& url, const std::wstring& headers, IHttpClientSink* sink) {
  if (auto hook = gOpenHook.load()) hook(this, OpenStage::kEntered);
  sink_ = sink;
  closeHandle();

  // The session: trusted roots and time-outs. Certificate and host-name checks stay on.
  auto handle = std::make_unique<Handle>();
  {
    ContextScope scope(handle->context);
    handle->session = net::soup::newSession(timeouts().connectSeconds);
  }
  if (handle->session == nullptr) {
    reportError(kStepOpen, net::kInternetSecurityChannelError);
    return false;
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

  std::string host = wideToUtf8(host_);
  if (host.size() > 2 && host.front() == '[') host = host.substr(1, host.size() - 2);
  net::soup::chooseProxy(handle->session, wideToUtf8(scheme_), host, port_);

  if (auto hook = gOpenHook.load()) hook(this, OpenStage::kBeforePublish);
  std::lock_guard<std::mutex> lock(handleMutex_);
  handle_ = handle.release();
  // Aborted before or while it was built: the request ends at once, without any traffic.
  if (aborted_) g_cancellable_cancel(handle_->cancellable);
  return true;
}

bool CHttpClient::sendAndReceive() {
  const char* label = "utility::CHttpClient::sendAndReceive";
  Handle* handle = handle_;  // written only by this thread
  if (handle == nullptr || sink_ == nullptr) {
    reportError(kStepConnect, net::kInternetInternalError);
    return false;
  }
  ContextScope scope(handle->context);

  const std::string uri = wideToUtf8(scheme_) + "://" + wideToUtf8(host_) + ":" + std::to_string(port_) +
                          (objectName_.empty() || objectName_.front() != L'/' ? "/" : "") +
                          wideToUtf8(objectName_);
  ErrorHolder error;
  GUri* parsed = g_uri_parse(uri.c_str(), static_cast<GUriFlags>(SOUP_HTTP_URI_FLAGS), error.out());
  if (parsed == nullptr) {
    common::logPrint(label, __LINE__, L"request not opened: %s", error.message().c_str());
    reportError(kStepSendRequest, net::kInternetInvalidUrl);
    return false;
  }
  GRef<SoupMessage> message(soup_message_new_from_uri(SOUP_METHOD_GET, parsed));
  g_uri_unref(parsed);
  if (!message) {
    reportError(kStepSendRequest, net::kInternetInvalidUrl);
    return false;
  }
  // The accept types the target's stack sends; the caller's lines may still name others.
  soup_message_headers_replace(soup_message_get_request_headers(message.get()), "Accept", "*/*");
  appendHeaderLines(soup_message_get_request_headers(message.get()), headers_);

  net::soup::ConnectionState connection{.receiveSeconds = timeouts().receiveSeconds};
  net::soup::RedirectPolicy redirects{
      .secure = secure_, .httpsOnly = rules_.httpsOnly, .cancellable = handle->cancellable};
  net::soup::watchConnection(message.get(), &connection);
  net::soup::watchRedirects(message.get(), &redirects);
  const auto unwatch = [&] {
    net::soup::unwatchConnection(message.get(), &connection);
    net::soup::unwatchRedirects(message.get(), &redirects);
  };
  net::soup::DeadlineWatch deadline(rules_.deadline, handle->cancellable);
  const auto deadlinePassed = [&] {
    if (!deadline.expired()) return false;
    common::logPrint(label, __LINE__, L"no complete reply within %I64d ms",
                     static_cast<int64_t>(rules_.deadline.count()));
    return true;
  };
  net::soup::RateWatch rate(rules_.minBytesPerSecond, rules_.minRateWindow, handle->cancellable);
  const auto ratePassed = [&] {
    if (!rate.expired()) return false;
    common::logPrint(label, __LINE__, L"transfer below %I64d bytes per second for %I64d s",
                     static_cast<int64_t>(rules_.minBytesPerSecond), static_cast<int64_t>(rules_.minRateWindow.count()));
    return true;
  };

  GRef<GInputStream> body(soup_session_send(handle->session, message.get(), handle->cancellable, error.out()));
  if (!body) {
    unwatch();
    if (redirects.refused != 0) {
      reportError(kStepSendRequest, redirects.refused);
      return false;
    }
    if (deadlinePassed() || ratePassed()) {
      reportError(connection.connected ? kStepSendRequest : kStepConnect, net::kInternetTimeout);
      return false;
    }
    if (g_error_matches(error.get(), SOUP_SESSION_ERROR, SOUP_SESSION_ERROR_REDIRECT_BAD_URI)) {
      // A Location of another scheme (file, ftp, ...) is not followed.
      common::logPrint(label, __LINE__, L"redirect refused: %s", error.message().c_str());
    }
    const net::soup::Failure failure = net::soup::classify(error.get(), connection.connected, message.get());
    // Our own abort (leaving, shutting down) is no failure of the request: say so plainly.
    bool cancelledByUs = false;
    if (g_error_matches(error.get(), G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
      std::lock_guard<std::mutex> lock(handleMutex_);
      cancelledByUs = aborted_;
    }
    common::logPrint(label, __LINE__,
                     cancelledByUs ? L"request cancelled at step %d: %s" : L"request failed at step %d: %s",
                     failure.step, error.message().c_str());
    reportError(failure.step, failure.code);
    return false;
  }
  const int status = static_cast<int>(soup_message_get_status(message.get()));
  if (status <= 0) {
    g_cancellable_cancel(handle->cancellable);
    g_input_stream_close(body.get(), handle->cancellable, nullptr);
    reportError(kStepQueryStatus, net::kHttpHeaderNotFound);
    return false;
  }
  SoupMessageHeaders* responseHeaders = soup_message_get_response_headers(message.get());
  const int64_t length = soup_message_headers_get_encoding(responseHeaders) == SOUP_ENCODING_CONTENT_LENGTH
                             ? soup_message_headers_get_content_length(responseHeaders)
                             : -1;

  // libsoup reads a chunked body that is cut at a chunk boundary as complete: here only a length
  // tells a whole body from a cut one.
  if (rules_.delimitedBodyOnly && soup_message_headers_get_encoding(responseHeaders) != SOUP_ENCODING_CONTENT_LENGTH) {
    common::logPrint(label, __LINE__, L"reply without length refused");
    g_cancellable_cancel(handle->cancellable);
    g_input_stream_close(body.get(), handle->cancellable, nullptr);
    unwatch();
    return false;
  }
  bool ok = false;
  bool finished = false;
  net::ReplyFacts reply{.status = status, .contentLength = length};
  const auto headerText = [responseHeaders](const char* name) {
    const char* value = soup_message_headers_get_one(responseHeaders, name);
    return value != nullptr ? std::string(value) : std::string();
  };
  reply.acceptRanges = headerText("Accept-Ranges");
  reply.etag = headerText("ETag");
  reply.lastModified = headerText("Last-Modified");
  reply.contentRange = headerText("Content-Range");
  if (sink_->onHttpRecvReply(reply)) {
    std::unique_ptr<char[]> buffer(new char[kReadChunk]);
    int64_t received = 0;
    while (true) {
      const gssize n = g_input_stream_read(body.get(), buffer.get(), kReadChunk, handle->cancellable, error.out());
      if (n < 0) {
        if (!deadlinePassed() && !ratePassed()) {
          common::logPrint(label, __LINE__, L"read failed: %s", error.message().c_str());
        }
        break;
      }
      if (n == 0) {
        finished = true;
        // A body cut short of its announced length is a failure, not a complete file.
        if (length >= 0 && received != length) {
          common::logPrint(label, __LINE__, L"body ended after %I64d of %I64d bytes", received, length);
          break;
        }
        sink_->onHttpFinish();
        ok = true;
        break;
      }
      received += n;
      rate.add(static_cast<uint64_t>(n));
      if (!sink_->onHttpRecvData(buffer.get(), static_cast<int>(n))) break;
    }
  }
  // Closing an unfinished body would read the rest of it first: cancel instead.
  if (!finished) g_cancellable_cancel(handle->cancellable);
  g_input_stream_close(body.get(), handle->cancellable, nullptr);
  unwatch();
  return ok;
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
  if (handle_ != nullptr) g_cancellable_cancel(handle_->cancellable);
}

void CHttpClient::setOpenHookForTesting(void (*hook)(CHttpClient*, OpenStage)) { gOpenHook.store(hook); }

}  // namespace utility
