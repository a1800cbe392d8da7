// The platform HTTP client on libsoup 3: one session per request, used synchronously on the
// caller's thread with a main context of its own; a GCancellable lets another thread end it.
#include <gio/gio.h>
#include <libsoup/soup.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <algorithm>
#include <memory>
#include <mutex>
#include <thread>

#include "deployment/deployment.h"
#include "net/http_client.h"
#include "net/proxy_resolver.h"
#include "net/wininet_errors.h"
#include "utility/system/log.h"
#include "utility/base/strings.h"

namespace utility {

namespace {

std::atomic<void (*)(CHttpClient*, CHttpClient::OpenStage)> gOpenHook{nullptr};

template <class T>
struct Unref {
  void operator()(T* object) const { g_object_unref(object); }
};
template <class T>
using GRef = std::unique_ptr<T, Unref<T>>;

class ErrorHolder {
 public:
  ErrorHolder() = default;
  ~ErrorHolder() { g_clear_error(&error_); }
  ErrorHolder(const ErrorHolder&) = delete;
  ErrorHolder& operator=(const ErrorHolder&) = delete;
  GError** out() {
    g_clear_error(&error_);
    return &error_;
  }
  const GError* get() const { return error_; }
  std::wstring message() const { return error_ != nullptr ? utf8ToWide(error_->message) : std::wstring(); }

 private:
  GError* error_ = nullptr;
};

// Makes |context| the thread-default context for the scope, so that the session's sources
// never land on the main thread's loop.
class ContextScope {
 public:
  explicit ContextScope(GMainContext* context) : context_(context) { g_main_context_push_thread_default(context_); }
  ~ContextScope() { g_main_context_pop_thread_default(context_); }
  ContextScope(const ContextScope&) = delete;
  ContextScope& operator=(const ContextScope&) = delete;

 private:
  GMainContext* context_;
};

struct Failure {
  int step;
  int code;
};

int certificateErrorCode(GTlsCertificateFlags flags) {
  if ((flags & G_TLS_CERTIFICATE_UNKNOWN_CA) != 0) return net::kInternetInvalidCa;
  if ((flags & G_TLS_CERTIFICATE_BAD_IDENTITY) != 0) return net::kInternetSecCertCnInvalid;
  if ((flags & (G_TLS_CERTIFICATE_EXPIRED | G_TLS_CERTIFICATE_NOT_ACTIVATED)) != 0) {
    return net::kInternetSecCertDateInvalid;
  }
  return net::kInternetSecInvalidCert;
}

// Which call of the target's stack would have failed, and with which code.
Failure classify(const GError* error, bool connected, SoupMessage* message) {
  const int connectOrSend = connected ? CHttpClient::kStepSendRequest : CHttpClient::kStepConnect;
  if (error == nullptr) return {CHttpClient::kStepSendRequest, net::kInternetInternalError};
  if (error->domain == G_RESOLVER_ERROR) return {CHttpClient::kStepConnect, net::kInternetNameNotResolved};
  if (error->domain == G_TLS_ERROR) {
    if (error->code == G_TLS_ERROR_BAD_CERTIFICATE) {
      return {CHttpClient::kStepSendRequest,
              certificateErrorCode(soup_message_get_tls_peer_certificate_errors(message))};
    }
    return {CHttpClient::kStepSendRequest, net::kInternetSecurityChannelError};
  }
  if (error->domain == SOUP_SESSION_ERROR) {
    if (error->code == SOUP_SESSION_ERROR_TOO_MANY_REDIRECTS ||
        error->code == SOUP_SESSION_ERROR_REDIRECT_NO_LOCATION ||
        error->code == SOUP_SESSION_ERROR_REDIRECT_BAD_URI) {
      return {CHttpClient::kStepSendRequest, net::kHttpRedirectFailed};
    }
    if (error->code == SOUP_SESSION_ERROR_PARSING || error->code == SOUP_SESSION_ERROR_ENCODING) {
      return {CHttpClient::kStepQueryStatus, net::kHttpInvalidServerResponse};
    }
    return {CHttpClient::kStepSendRequest, net::kInternetInternalError};
  }
  if (error->domain == G_IO_ERROR) {
    switch (error->code) {
      case G_IO_ERROR_CANCELLED: return {CHttpClient::kStepSendRequest, net::kInternetOperationCancelled};
      case G_IO_ERROR_TIMED_OUT: return {connectOrSend, net::kInternetTimeout};
      case G_IO_ERROR_HOST_NOT_FOUND: return {CHttpClient::kStepConnect, net::kInternetNameNotResolved};
      case G_IO_ERROR_CONNECTION_REFUSED:
      case G_IO_ERROR_HOST_UNREACHABLE:
      case G_IO_ERROR_NETWORK_UNREACHABLE:
      case G_IO_ERROR_PROXY_FAILED:
      case G_IO_ERROR_PROXY_AUTH_FAILED:
      case G_IO_ERROR_PROXY_NEED_AUTH:
      case G_IO_ERROR_PROXY_NOT_ALLOWED: return {CHttpClient::kStepConnect, net::kInternetCannotConnect};
      case G_IO_ERROR_CONNECTION_CLOSED:  // also G_IO_ERROR_BROKEN_PIPE
        return {connectOrSend, net::kInternetConnectionReset};
      case G_IO_ERROR_PARTIAL_INPUT: return {connectOrSend, net::kInternetConnectionAborted};
      default: break;
    }
  }
  return {connectOrSend, net::kInternetInternalError};
}

// Data of one request that the signal handlers fill in.
struct RequestState {
  bool connected = false;
  unsigned receiveSeconds = 0;
  // Redirects: the scheme of the hop before, the rules, and a refused hop's error code.
  bool secure = false;
  bool httpsOnly = false;
  int refusedRedirect = 0;
  GCancellable* cancellable = nullptr;
};

// Every hop of a redirect chain is checked before it is requested: http and https only, never
// from https back to plain http (the certificate check would be gone), https only when the
// rules say so. A refused hop ends the request.
void onRestarted(SoupMessage* message, gpointer data) {
  auto* state = static_cast<RequestState*>(data);
  GUri* uri = soup_message_get_uri(message);
  const char* scheme = uri != nullptr ? g_uri_get_scheme(uri) : nullptr;
  const bool https = scheme != nullptr && g_ascii_strcasecmp(scheme, "https") == 0;
  const bool http = scheme != nullptr && g_ascii_strcasecmp(scheme, "http") == 0;
  int refused = 0;
  if (!https && !http) {
    refused = net::kHttpRedirectFailed;
  } else if (http && (state->secure || state->httpsOnly)) {
    refused = net::kInternetHttpsToHttpOnRedirect;
  }
  if (refused == 0) {
    state->secure = https;
    return;
  }
  char* text = uri != nullptr ? g_uri_to_string_partial(uri, G_URI_HIDE_PASSWORD) : g_strdup("");
  common::logPrint("utility::CHttpClient::sendAndReceive", __LINE__, L"redirect to %S refused", text);
  g_free(text);
  state->refusedRedirect = refused;
  g_cancellable_cancel(state->cancellable);
}

// Ends a request at its deadline by cancelling it from a thread of its own: the transfer blocks
// in socket calls that no main-context source could interrupt.
class DeadlineWatch {
 public:
  DeadlineWatch(std::chrono::milliseconds limit, GCancellable* cancellable) {
    if (limit.count() <= 0) return;
    const auto end = std::chrono::steady_clock::now() + limit;
    thread_ = std::thread([this, end, cancellable] {
      std::unique_lock<std::mutex> lock(mutex_);
      if (changed_.wait_until(lock, end, [this] { return done_; })) return;
      expired_ = true;
      g_cancellable_cancel(cancellable);
    });
  }
  ~DeadlineWatch() {
    if (!thread_.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  DeadlineWatch(const DeadlineWatch&) = delete;
  DeadlineWatch& operator=(const DeadlineWatch&) = delete;

  bool expired() {
    std::lock_guard<std::mutex> lock(mutex_);
    return expired_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool done_ = false;
  bool expired_ = false;
  std::thread thread_;
};

// Ends a request that moves fewer than |bytesPerSecond| on average over |window|, by cancelling
// it from a thread of its own (as curl's low-speed limit does): a server that trickles resets
// every idle time-out and would hold the transfer for hours. The window slides; it is sampled
// ten times per window.
class RateWatch {
 public:
  RateWatch(uint64_t bytesPerSecond, std::chrono::seconds window, GCancellable* cancellable) {
    if (bytesPerSecond == 0 || window.count() <= 0) return;
    const uint64_t least = bytesPerSecond * static_cast<uint64_t>(window.count());
    const auto step = std::max<std::chrono::milliseconds>(std::chrono::milliseconds(100), window / 10);
    thread_ = std::thread([this, least, window, step, cancellable] {
      using Clock = std::chrono::steady_clock;
      // (time, bytes so far) samples; the oldest one at least |window| old is the reference.
      std::deque<std::pair<Clock::time_point, uint64_t>> samples{{Clock::now(), 0}};
      std::unique_lock<std::mutex> lock(mutex_);
      while (!changed_.wait_for(lock, step, [this] { return done_; })) {
        const auto now = Clock::now();
        samples.emplace_back(now, received_.load());
        while (samples.size() > 1 && now - samples[1].first >= window) samples.pop_front();
        if (now - samples.front().first < window) continue;
        if (samples.back().second - samples.front().second >= least) continue;
        expired_ = true;
        g_cancellable_cancel(cancellable);
        return;
      }
    });
  }
  ~RateWatch() {
    if (!thread_.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  RateWatch(const RateWatch&) = delete;
  RateWatch& operator=(const RateWatch&) = delete;

  void add(uint64_t bytes) { received_.fetch_add(bytes); }
  bool expired() {
    std::lock_guard<std::mutex> lock(mutex_);
    return expired_;
  }

 private:
  std::atomic<uint64_t> received_{0};
  std::mutex mutex_;
  std::condition_variable changed_;
  bool done_ = false;
  bool expired_ = false;
  std::thread thread_;
};

// Once a connection stands, waiting for data is bounded by the receive time-out instead of the
// connect time-out.
void applyReceiveTimeout(GIOStream* stream, unsigned seconds) {
  GIOStream* base = stream;
  GRef<GIOStream> tlsBase;
  if (G_IS_TLS_CONNECTION(stream)) {
    GIOStream* inner = nullptr;
    g_object_get(stream, "base-io-stream", &inner, nullptr);
    tlsBase.reset(inner);
    base = inner;
  }
  if (base != nullptr && G_IS_SOCKET_CONNECTION(base)) {
    g_socket_set_timeout(g_socket_connection_get_socket(G_SOCKET_CONNECTION(base)), seconds);
  }
}

void onNetworkEvent(SoupMessage*, GSocketClientEvent event, GIOStream* connection, gpointer data) {
  auto* state = static_cast<RequestState*>(data);
  if (event == G_SOCKET_CLIENT_CONNECTED) state->connected = true;
  if (state->connected && connection != nullptr) applyReceiveTimeout(connection, state->receiveSeconds);
}

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

// An environment proxy for sessions whose system resolver goes direct although the
// environment names a proxy (a desktop whose own settings say "none").
void applyEnvironmentProxy(SoupSession* session, const std::string& scheme, const std::string& host, int port) {
  const std::string proxy = net::environmentProxyWhereDesktopIsDirect(scheme, host, port);
  if (proxy.empty()) return;
  GRef<GProxyResolver> resolver(g_simple_proxy_resolver_new(proxy.c_str(), nullptr));
  soup_session_set_proxy_resolver(session, resolver.get());
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
    handle->session = soup_session_new();
    soup_session_remove_feature_by_type(handle->session, SOUP_TYPE_CONTENT_DECODER);
    soup_session_set_timeout(handle->session, timeouts().connectSeconds);
    const std::string& bundle = deployment::values().caBundleFile;
    if (!bundle.empty()) {
      ErrorHolder error;
      GRef<GTlsDatabase> database(g_tls_file_database_new(bundle.c_str(), error.out()));
      if (!database) {
        common::logPrint("utility::CHttpClient::openUrl", __LINE__, L"trusted roots %S not loaded: %s",
                         bundle.c_str(), error.message().c_str());
        reportError(kStepOpen, net::kInternetSecurityChannelError);
        return false;
      }
      soup_session_set_tls_database(handle->session, database.get());
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

  std::string host = wideToUtf8(host_);
  if (host.size() > 2 && host.front() == '[') host = host.substr(1, host.size() - 2);
  applyEnvironmentProxy(handle->session, wideToUtf8(scheme_), host, port_);

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

  RequestState state;
  state.receiveSeconds = timeouts().receiveSeconds;
  state.secure = secure_;
  state.httpsOnly = rules_.httpsOnly;
  state.cancellable = handle->cancellable;
  g_signal_connect(message.get(), "network-event", G_CALLBACK(onNetworkEvent), &state);
  g_signal_connect(message.get(), "restarted", G_CALLBACK(onRestarted), &state);
  DeadlineWatch deadline(rules_.deadline, handle->cancellable);
  const auto deadlinePassed = [&] {
    if (!deadline.expired()) return false;
    common::logPrint(label, __LINE__, L"no complete reply within %I64d ms",
                     static_cast<int64_t>(rules_.deadline.count()));
    return true;
  };
  RateWatch rate(rules_.minBytesPerSecond, rules_.minRateWindow, handle->cancellable);
  const auto ratePassed = [&] {
    if (!rate.expired()) return false;
    common::logPrint(label, __LINE__, L"transfer below %I64d bytes per second for %I64d s",
                     static_cast<int64_t>(rules_.minBytesPerSecond), static_cast<int64_t>(rules_.minRateWindow.count()));
    return true;
  };

  GRef<GInputStream> body(soup_session_send(handle->session, message.get(), handle->cancellable, error.out()));
  if (!body) {
    g_signal_handlers_disconnect_by_data(message.get(), &state);
    if (state.refusedRedirect != 0) {
      reportError(kStepSendRequest, state.refusedRedirect);
      return false;
    }
    if (deadlinePassed() || ratePassed()) {
      reportError(state.connected ? kStepSendRequest : kStepConnect, net::kInternetTimeout);
      return false;
    }
    if (g_error_matches(error.get(), SOUP_SESSION_ERROR, SOUP_SESSION_ERROR_REDIRECT_BAD_URI)) {
      // A Location of another scheme (file, ftp, ...) is not followed.
      common::logPrint(label, __LINE__, L"redirect refused: %s", error.message().c_str());
    }
    const Failure failure = classify(error.get(), state.connected, message.get());
    common::logPrint(label, __LINE__, L"request failed at step %d: %s", failure.step, error.message().c_str());
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
    g_signal_handlers_disconnect_by_data(message.get(), &state);
    return false;
  }
  bool ok = false;
  bool finished = false;
  if (sink_->onHttpRecvHeader(length, status)) {
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
  g_signal_handlers_disconnect_by_data(message.get(), &state);
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
