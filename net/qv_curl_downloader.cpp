#include "net/qv_curl_downloader.h"

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <new>

#include "deployment/deployment.h"
#include "net/curl_handle.h"
#include "net/proxy_resolver.h"
#include "net/wininet_errors.h"
#include "utility/base/clock.h"
#include "utility/base/progress_throttle.h"
#include "utility/base/sha256.h"
#include "utility/system/log.h"
#include "utility/base/strings.h"
#include "utility/system/ufile.h"

namespace {

constexpr curl_off_t kMaxReceiveSpeed = 20971520;  // 20 MiB per second
constexpr long kMaxRedirects = 5;
constexpr long kPostConnectTimeoutMs = 8000;
constexpr uint32_t kClockSlackMs = 100;

std::atomic<long> gStallSeconds{QvCurlDownloader::kStallSeconds};
std::atomic<void (*)(const QvCurlDownloader::TransferSettings&)> gBeforePerformHook{nullptr};
std::atomic<uint32_t (*)()> gTickSource{nullptr};

uint32_t readTick() {
  if (auto source = gTickSource.load()) return source();
  return utility::tickCount();
}

struct MemoryBuffer {
  std::string bytes;
  uint64_t limit = QvCurlDownloader::kNoLimit;
};

struct ProgressContext {
  utility::ProgressThrottle throttle;
  std::function<void(int)> onProgress;
  std::function<void(int64_t, int64_t)> onBytes;
  curl_off_t kept = 0;  // bytes of the partial file this transfer continues (-1: not known yet)
};

size_t appendChunk(const char* label, const char* chunk, size_t size, size_t count, MemoryBuffer* buffer) {
  if (count != 0 && size > SIZE_MAX / count) {
    common::logPrint(label, __LINE__, L"not enough memory error %d", net::kErrorNotEnoughMemory);
    return 0;
  }
  const size_t n = size * count;
  const uint64_t wanted = static_cast<uint64_t>(buffer->bytes.size()) + n;
  if (wanted > buffer->limit) {
    common::logPrint(label, __LINE__, L"reply larger than %I64u bytes refused", buffer->limit);
    return 0;
  }
  // The held size is a 32-bit count: a reply beyond it cannot be held.
  if (wanted > UINT32_MAX) {
    common::logPrint(label, __LINE__, L"not enough memory error %d", net::kErrorNotEnoughMemory);
    return 0;
  }
  try {
    buffer->bytes.append(chunk, n);
  } catch (const std::bad_alloc&) {
    common::logPrint(label, __LINE__, L"not enough memory error %d", net::kErrorNotEnoughMemory);
    return 0;
  }
  return n;
}

size_t WriteMemoryCallback(char* chunk, size_t size, size_t count, void* data) {
  return appendChunk("WriteMemoryCallback", chunk, size, count, static_cast<MemoryBuffer*>(data));
}

size_t WriteMemoryCallbackPost(char* chunk, size_t size, size_t count, void* data) {
  return appendChunk("WriteMemoryCallbackPost", chunk, size, count, static_cast<MemoryBuffer*>(data));
}

// How the body of the last response is delimited: by a length, by chunks (or the frames of
// HTTP/2 and later), or only by the end of the connection (each new status line starts over);
// and what its header says about byte ranges.
struct Framing {
  bool length = false;
  bool chunked = false;
  net::ReplyFacts facts;
};

// The file a transfer writes, and the system's code for its first failed write. A transfer that
// may continue a partial file opens it only once the reply's header has been judged.
struct FileTarget {
  utility::FileHandle file;
  int writeError = 0;
  std::wstring path;
  net::FileTransfer* transfer = nullptr;
  const Framing* framing = nullptr;
  ProgressContext* progress = nullptr;
  bool judged = false;    // the reply's header has been looked at
  bool refused = false;   // ... and nothing of it is used
};

const char* kFileLabel = "QvCurlDownloader::downloadFile";

// The reply's header has arrived (its first body bytes with it): decides where they go.
bool judgeReply(FileTarget& target) {
  target.judged = true;
  if (target.transfer == nullptr) return true;
  net::FileTransfer& transfer = *target.transfer;
  const net::ReplyFacts& reply = target.framing->facts;
  transfer.resumedBytes = 0;
  bool continuing = false;
  if (transfer.resume.valid()) {
    std::string why;
    const net::RangeVerdict verdict = net::judgeRangeReply(transfer.resume, reply, why);
    if (verdict == net::RangeVerdict::kRefuse) {
      common::logPrint(kFileLabel, __LINE__, L"range reply refused, partial file discarded: %S", why.c_str());
      transfer.partialDiscarded = true;
      transfer.validator.clear();
      target.refused = true;
      return false;
    }
    if (verdict == net::RangeVerdict::kRestart) {
      common::logPrint(kFileLabel, __LINE__, L"download restarts from zero: %S", why.c_str());
      transfer.partialDiscarded = true;
      transfer.validator.clear();
    }
    continuing = verdict == net::RangeVerdict::kContinue;
  } else if (reply.status == 206) {
    common::logPrint(kFileLabel, __LINE__, L"part of a file refused, the whole was asked for");
    target.refused = true;
    return false;
  }
  if (transfer.digest != nullptr) transfer.digest->reset();
  int error = 0;
  if (!continuing) {
    target.progress->kept = 0;
    transfer.validator = net::rangeValidator(reply);
    transfer.total = reply.contentLength;
    // A fresh download has its file already; one that meant to continue makes it now.
    if (target.file.isOpen()) return true;
    if (target.file.open(target.path, error)) return true;
    common::logPrint(kFileLabel, __LINE__, L"openfile error path : %s. %d", target.path.c_str(), error);
    target.writeError = -error;
    return false;
  }
  const int64_t offset = transfer.resume.offset;
  const bool opened = target.file.openToContinue(
      target.path, static_cast<uint64_t>(offset),
      [&transfer](const char* bytes, size_t length) {
        if (transfer.digest != nullptr) transfer.digest->update(bytes, length);
      },
      error);
  if (!opened) {
    common::logPrint(kFileLabel, __LINE__, L"partial file not continued, discarded: error %d", error);
    if (transfer.digest != nullptr) transfer.digest->reset();
    transfer.partialDiscarded = true;
    transfer.validator.clear();
    target.refused = true;
    return false;
  }
  transfer.validator = transfer.resume.validator;
  transfer.total = transfer.resume.total;
  transfer.resumedBytes = offset;
  target.progress->kept = static_cast<curl_off_t>(offset);
  common::logPrint(kFileLabel, __LINE__, L"download resumed at %I64d of %I64d bytes", offset, transfer.total);
  return true;
}

size_t WriteFileCallback(char* chunk, size_t size, size_t count, void* data) {
  if (count != 0 && size > SIZE_MAX / count) return 0;
  const size_t n = size * count;
  auto* target = static_cast<FileTarget*>(data);
  if (!target->judged && !judgeReply(*target)) return 0;
  if (target->file.write(chunk, n)) {
    if (target->transfer != nullptr && target->transfer->digest != nullptr) target->transfer->digest->update(chunk, n);
    return n;
  }
  if (target->writeError == 0) target->writeError = net::lastWriteError();
  return 0;
}

// What the user can be told about a failed transfer into a file.
net::DownloadFailure failureFor(CURLcode code, int writeError) {
  switch (code) {
    case CURLE_WRITE_ERROR:
      return net::failureForWriteError(writeError);
    case CURLE_HTTP_RETURNED_ERROR:
      return net::DownloadFailure::kServerRefused;
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
      return net::DownloadFailure::kNoConnection;
    default:
      return net::DownloadFailure::kUnknown;
  }
}

int ProgressCallback(void* data, curl_off_t downloadTotal, curl_off_t downloadNow, curl_off_t, curl_off_t) {
  auto* context = static_cast<ProgressContext*>(data);
  if (context->kept < 0) return 0;  // whether the partial file goes on is not known yet
  // The kept part of a continued file counts as done.
  downloadNow += context->kept;
  if (downloadTotal > -1 && downloadTotal < 1) {
    // Size not known yet: no percentage, only the byte count where one is wanted.
    if (context->onBytes && downloadNow > 0 && context->throttle.due(readTick())) context->onBytes(downloadNow, 0);
    return 0;
  }
  downloadTotal += context->kept;
  const double total = static_cast<double>(downloadTotal);
  const double exact = static_cast<double>(downloadNow) / total * 100.0;
  // Completion is signalled by the result, never by a report of 100.
  const int percent = exact >= 99.0 ? 99 : (exact <= 0.0 ? 0 : static_cast<int>(exact));
  if (!context->throttle.due(readTick())) return 0;
  if (context->onProgress) context->onProgress(percent);
  if (context->onBytes) context->onBytes(downloadNow, downloadTotal);
  return 0;
}

// Certificate and host-name checks stay on: the downloaded installer is run with administrator
// rights. The trusted roots come from the deployment (empty: the system store).
void setTlsChecks(CURL* handle) {
  curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
  const std::string& bundle = deployment::values().caBundleFile;
  if (bundle.empty()) return;
  curl_easy_setopt(handle, CURLOPT_CAINFO, bundle.c_str());
  // A deployment's own CA publishes no revocation lists; Schannel would refuse every chain for
  // want of one (other TLS backends ignore the option). The chain must still end at that CA.
  curl_easy_setopt(handle, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_NO_REVOKE));
}

bool startsWithHttps(const std::string& url) {
  return url.size() >= 8 && curl_strnequal(url.c_str(), "https://", 8) != 0;
}

// The limits, schemes and route every transfer is given on top of its own options. Only http and
// https: libcurl would also read file:// and a dozen other schemes from an address that came from
// a remote document or the command line. A transfer that began on https stays on it, so a
// redirect cannot take the download round the certificate check.
QvCurlDownloader::TransferSettings settingsFor(const std::string& url, const net::FetchRules& rules) {
  QvCurlDownloader::TransferSettings settings;
  settings.protocols = rules.httpsOnly ? "https" : "http,https";
  settings.redirectProtocols = rules.httpsOnly || startsWithHttps(url) ? "https" : "http,https";
  settings.proxy = net::proxyForRequest(url);
  settings.timeoutMs = static_cast<long>(rules.deadline.count());
  if (rules.minBytesPerSecond > 0 && rules.minRateWindow.count() > 0) {
    // A transfer that trickles below the rules' rate for their window ends.
    settings.lowSpeedLimit = static_cast<long>(rules.minBytesPerSecond);
    settings.lowSpeedTime = static_cast<long>(rules.minRateWindow.count());
  } else {
    // A transfer during which nothing arrives for the stall limit ends (below 1 byte per second).
    settings.lowSpeedLimit = 1;
    settings.lowSpeedTime = gStallSeconds.load();
  }
  return settings;
}

bool headerIs(const std::string& line, const char* name) {
  const size_t n = std::strlen(name);
  return line.size() > n && curl_strnequal(line.c_str(), name, n) != 0;
}

size_t readFraming(char* bytes, size_t size, size_t count, void* data) {
  auto* framing = static_cast<Framing*>(data);
  const size_t n = size * count;
  std::string original(bytes, n);
  while (!original.empty() && (original.back() == '\r' || original.back() == '\n')) original.pop_back();
  std::string line = original;
  for (char& c : line) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const auto value = [&original] {
    const size_t colon = original.find(':');
    const size_t start = original.find_first_not_of(" \t", colon + 1);
    return start == std::string::npos ? std::string() : original.substr(start);
  };
  if (line.rfind("http/", 0) == 0) {
    // HTTP/2 and later frame every body: its end is never the connection's.
    *framing = Framing{};
    framing->chunked = line.rfind("http/1", 0) != 0;
    const size_t space = line.find(' ');
    if (space != std::string::npos) framing->facts.status = std::atoi(line.c_str() + space + 1);
  } else if (headerIs(line, "content-length:")) {
    framing->length = true;
    const std::string text = value();
    char* end = nullptr;
    const long long length = std::strtoll(text.c_str(), &end, 10);
    if (!text.empty() && end != nullptr && *end == '\0' && length >= 0) framing->facts.contentLength = length;
  } else if (headerIs(line, "transfer-encoding:") && line.find("chunked") != std::string::npos) {
    framing->chunked = true;
  } else if (headerIs(line, "accept-ranges:")) {
    framing->facts.acceptRanges = value();
  } else if (headerIs(line, "etag:")) {
    framing->facts.etag = value();
  } else if (headerIs(line, "last-modified:")) {
    framing->facts.lastModified = value();
  } else if (headerIs(line, "content-range:")) {
    framing->facts.contentRange = value();
  }
  return n;
}

// Follows a transfer hop by hop: once a hop was https, a later plain-http hop is not requested
// (libcurl's redirect protocols are fixed for the whole chain, which may begin on http).
struct HopGuard {
  CURL* handle = nullptr;
  bool secureSeen = false;
  std::string refused;
};

int checkHop(void* data, char*, char*, int, int) {
  auto* guard = static_cast<HopGuard*>(data);
  const char* where = nullptr;
  curl_easy_getinfo(guard->handle, CURLINFO_EFFECTIVE_URL, &where);
  const std::string url = where != nullptr ? where : "";
  if (startsWithHttps(url)) {
    guard->secureSeen = true;
  } else if (guard->secureSeen) {
    guard->refused = url;
    return CURL_PREREQFUNC_ABORT;
  }
  return CURL_PREREQFUNC_OK;
}

void apply(CURL* handle, const QvCurlDownloader::TransferSettings& settings, HopGuard& guard) {
  guard.handle = handle;
  curl_easy_setopt(handle, CURLOPT_PREREQFUNCTION, checkHop);
  curl_easy_setopt(handle, CURLOPT_PREREQDATA, &guard);
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, settings.protocols.c_str());
  curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, settings.redirectProtocols.c_str());
  // Always set: an empty text means direct, and keeps libcurl from reading the environment on
  // its own (the route is decided above, for both stacks alike).
  curl_easy_setopt(handle, CURLOPT_PROXY, settings.proxy.c_str());
  if (settings.connectTimeoutMs > 0) curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, settings.connectTimeoutMs);
  if (settings.timeoutMs > 0) curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, settings.timeoutMs);
  if (settings.maxRedirects >= 0) curl_easy_setopt(handle, CURLOPT_MAXREDIRS, settings.maxRedirects);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, settings.lowSpeedLimit);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, settings.lowSpeedTime);
}

// Runs the transfer and logs why a refused address or a passed deadline ended it.
CURLcode perform(const char* label, CURL* handle, const std::string& url,
                 const QvCurlDownloader::TransferSettings& settings, const HopGuard& guard) {
  if (auto hook = gBeforePerformHook.load()) hook(settings);
  const uint32_t start = utility::tickCount();
  const CURLcode code = curl_easy_perform(handle);
  if (code == CURLE_ABORTED_BY_CALLBACK && !guard.refused.empty()) {
    common::logPrint(label, __LINE__, L"address refused, only https allowed: %S", guard.refused.c_str());
  } else if (code == CURLE_UNSUPPORTED_PROTOCOL || code == CURLE_URL_MALFORMAT) {
    // A libcurl built for HTTP alone calls an address of another scheme malformed.
    const char* where = nullptr;
    curl_easy_getinfo(handle, CURLINFO_REDIRECT_URL, &where);
    if (where == nullptr) curl_easy_getinfo(handle, CURLINFO_EFFECTIVE_URL, &where);
    const std::string refused = where != nullptr ? where : url;
    const std::string& allowed = refused == url ? settings.protocols : settings.redirectProtocols;
    const bool web = startsWithHttps(refused) || curl_strnequal(refused.c_str(), "http://", 7) != 0;
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    if (code == CURLE_UNSUPPORTED_PROTOCOL || !web) {
      common::logPrint(label, __LINE__, L"address refused, only %S allowed: %S", allowed.c_str(), refused.c_str());
    } else if (status >= 300 && status <= 399) {
      // The hop's Location names an address libcurl cannot even parse for its schemes.
      common::logPrint(label, __LINE__, L"redirect from %S refused, only %S allowed", refused.c_str(),
                       settings.redirectProtocols.c_str());
    }
  } else if (code == CURLE_OPERATION_TIMEDOUT && settings.timeoutMs > 0 &&
             utility::tickCount() - start + kClockSlackMs >= static_cast<uint32_t>(settings.timeoutMs)) {
    // libcurl reports its stall limit with the same code; the elapsed time tells them apart
    // (libcurl's own clock may end a few milliseconds short of ours).
    common::logPrint(label, __LINE__, L"no complete reply within %I64d ms", static_cast<int64_t>(settings.timeoutMs));
  } else if (code == CURLE_OPERATION_TIMEDOUT && settings.lowSpeedLimit > 1) {
    common::logPrint(label, __LINE__, L"transfer below %I64d bytes per second for %I64d s",
                     static_cast<int64_t>(settings.lowSpeedLimit), static_cast<int64_t>(settings.lowSpeedTime));
  }
  return code;
}

std::wstring errorText(CURLcode code, unsigned codePage) {
  const char* text = curl_easy_strerror(code);
  return utility::toWide(text, -1, codePage);
}

// The common frame of the two in-memory transfers.
bool performIntoMemory(const char* label, CURL* handle, const std::string& url,
                       const QvCurlDownloader::TransferSettings& settings, const HopGuard& guard,
                       MemoryBuffer& buffer, std::string& out) {
  const CURLcode code = perform(label, handle, url, settings, guard);
  if (code != CURLE_OK) {
    common::logPrint(label, __LINE__, L"curl download error %s",
                     errorText(code, utility::kCodePageAnsi).c_str());
    return false;
  }
  common::logPrint(label, __LINE__, L"curl download sucess %d", static_cast<int>(buffer.bytes.size()));
  out.swap(buffer.bytes);
  return true;
}

}  // namespace

bool QvCurlDownloader::downloadMemory(const std::string& url, std::string& out, uint64_t maxBytes) {
  return downloadMemory(url, out, net::FetchRules{.maxBytes = maxBytes});
}

bool QvCurlDownloader::downloadMemory(const std::string& url, std::string& out, const net::FetchRules& rules) {
  const uint64_t maxBytes = rules.maxBytes;
  const char* label = "QvCurlDownloader::downloadMemory";
  common::logPrint(label, __LINE__, L"QvCurlDownloader::downloadMemory start");
  net::CurlEasy handle = net::makeCurlEasy();
  if (!handle) {
    common::logPrint(label, __LINE__, L"curl init error");
    return false;
  }
  CURL* h = handle.get();
  MemoryBuffer buffer;
  buffer.limit = maxBytes;
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, WriteMemoryCallback);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &buffer);
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  TransferSettings settings = settingsFor(url, rules);
  settings.maxRedirects = kMaxMemoryRedirects;
  HopGuard guard;
  apply(h, settings, guard);
  setTlsChecks(h);
  if (maxBytes != kNoLimit) {
    // Refuses a declared length over the limit before any byte arrives.
    curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(maxBytes));
  }
  curl_easy_setopt(h, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  return performIntoMemory(label, h, url, settings, guard, buffer, out);
}

bool QvCurlDownloader::postRequest(const std::string& body, std::string& out, const std::string& url,
                                   const std::vector<std::string>& headers) {
  const char* label = "QvCurlDownloader::postRequest";
  common::logPrint(label, __LINE__, L"QvCurlDownloader::postRequest start");
  net::CurlEasy handle = net::makeCurlEasy();
  if (!handle) {
    common::logPrint(label, __LINE__, L"curl init error");
    return false;
  }
  CURL* h = handle.get();
  MemoryBuffer buffer;
  buffer.limit = kMaxPostReplyBytes;
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, WriteMemoryCallbackPost);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &buffer);
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  TransferSettings settings = settingsFor(url, {});
  settings.maxRedirects = kMaxMemoryRedirects;
  settings.connectTimeoutMs = kPostConnectTimeoutMs;
  HopGuard guard;
  apply(h, settings, guard);
  setTlsChecks(h);
  curl_easy_setopt(h, CURLOPT_FORBID_REUSE, 1L);

  net::CurlHeaderList headerList;
  bool listComplete = headerList.append("Content-Type:application/json;charset=UTF-8");
  for (const std::string& line : headers) listComplete = listComplete && headerList.append(line.c_str());
  if (!listComplete) {
    common::logPrint(label, __LINE__, L"not enough memory error %d", net::kErrorNotEnoughMemory);
    return false;
  }
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headerList.get());
  curl_easy_setopt(h, CURLOPT_POST, 1L);

  // The body travels as UTF-8; it must outlive the transfer.
  const std::wstring wide = utility::ansiToWide(body);
  const std::string utf8 = wide.empty() ? std::string() : utility::wideToUtf8(wide);
  curl_easy_setopt(h, CURLOPT_POSTFIELDS, utf8.c_str());
  curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE, static_cast<long>(utf8.size()));
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  return performIntoMemory(label, h, url, settings, guard, buffer, out);
}

bool QvCurlDownloader::downloadFile(const std::wstring& path, const std::string& url,
                                    std::function<void(int percent)> onProgress) {
  return downloadFile(path, url, std::move(onProgress), net::FetchRules{});
}

bool QvCurlDownloader::downloadFile(const std::wstring& path, const std::string& url,
                                    std::function<void(int percent)> onProgress, const net::FetchRules& rules,
                                    net::DownloadFailure* failure,
                                    std::function<void(int64_t received, int64_t total)> onBytes,
                                    net::FileTransfer* transfer) {
  const char* label = kFileLabel;
  if (failure != nullptr) *failure = net::DownloadFailure::kUnknown;
  common::logPrint(label, __LINE__, L"QvCurlDownloader::downloadfile start");
  net::CurlEasy handle = net::makeCurlEasy();
  if (!handle) {
    common::logPrint(label, __LINE__, L"curl init error");
    return false;
  }
  const bool continuing = transfer != nullptr && transfer->resume.valid();
  if (transfer != nullptr) {
    transfer->partialDiscarded = false;
    transfer->resumedBytes = 0;
  }
  Framing framing;
  ProgressContext progress;
  FileTarget target;
  target.path = path;
  target.transfer = transfer;
  target.framing = &framing;
  target.progress = &progress;
  utility::FileHandle& file = target.file;
  int error = 0;
  // A partial file is kept until the reply says whether it goes on.
  if (!continuing && !file.open(path, error)) {
    common::logPrint(label, __LINE__, L"openfile error path : %s. %d", path.c_str(), error);
    if (failure != nullptr) *failure = net::failureForCreateError(error);
    return false;
  }
  CURL* h = handle.get();
  progress.onProgress = std::move(onProgress);
  progress.onBytes = std::move(onBytes);
  if (continuing) progress.kept = -1;
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, WriteFileCallback);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &target);
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  TransferSettings settings = settingsFor(url, rules);
  settings.maxRedirects = kMaxRedirects;
  HopGuard guard;
  apply(h, settings, guard);
  setTlsChecks(h);
  curl_easy_setopt(h, CURLOPT_MAX_RECV_SPEED_LARGE, kMaxReceiveSpeed);
  if (rules.httpErrorsFail) curl_easy_setopt(h, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, readFraming);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, &framing);
  net::CurlHeaderList rangeHeaders;
  const std::string range = continuing ? std::to_string(transfer->resume.offset) + "-" : std::string();
  if (continuing) {
    const std::string ifRange = "If-Range: " + transfer->resume.validator;
    if (!rangeHeaders.append(ifRange.c_str())) {
      common::logPrint(label, __LINE__, L"not enough memory error %d", net::kErrorNotEnoughMemory);
      return false;
    }
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, rangeHeaders.get());
    curl_easy_setopt(h, CURLOPT_RANGE, range.c_str());
  }
  curl_easy_setopt(h, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(h, CURLOPT_XFERINFODATA, &progress);
  curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, ProgressCallback);
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());

  CURLcode code = perform(label, h, url, settings, guard);
  if (continuing && !target.judged) {
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    // The server cannot serve the rest of what it named before: that partial file is of no use.
    if (status == 416) {
      transfer->partialDiscarded = true;
      transfer->validator.clear();
    }
    // A reply without a body neither continues nor replaces the partial file.
    if (code == CURLE_OK) {
      common::logPrint(label, __LINE__, L"reply without a body refused");
      code = CURLE_PARTIAL_FILE;
    }
  }
  if (target.writeError < 0) {
    // The file could not be made once the reply had come (logged there).
    if (failure != nullptr) *failure = net::failureForCreateError(-target.writeError);
    return false;
  }
  bool unframed = false;
  if (code == CURLE_OK && rules.delimitedBodyOnly && !framing.length && !framing.chunked) {
    common::logPrint(label, __LINE__, L"reply without length or chunks refused");
    code = CURLE_PARTIAL_FILE;
    unframed = true;
  }
  bool ok = true;
  if (code != CURLE_OK) {
    common::logPrint(label, __LINE__, L"download error %s", errorText(code, utility::kCodePageUtf8).c_str());
    file.close();
    common::logPrint(label, __LINE__, L"curl download file error %s",
                     errorText(code, utility::kCodePageAnsi).c_str());
    if (code == CURLE_WRITE_ERROR && target.writeError != 0) {
      common::logPrint(label, __LINE__, L"write file error %d: %s", target.writeError,
                       net::writeErrorText(target.writeError).c_str());
    }
    if (failure != nullptr && !unframed && !target.refused) *failure = failureFor(code, target.writeError);
    ok = false;
  } else {
    file.close();
    common::logPrint(label, __LINE__, L"curl download  file sucess");
  }
  handle.reset();
  progress.onProgress = nullptr;
  progress.onBytes = nullptr;
  return ok;
}

void QvCurlDownloader::setStallSecondsForTesting(long seconds) {
  gStallSeconds.store(seconds > 0 ? seconds : kStallSeconds);
}

void QvCurlDownloader::setBeforePerformHookForTesting(void (*hook)(const TransferSettings& settings)) {
  gBeforePerformHook.store(hook);
}

void QvCurlDownloader::setTickSourceForTesting(uint32_t (*tick)()) { gTickSource.store(tick); }
