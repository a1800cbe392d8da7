// The platform HTTP stack (the desktop's own, honouring its proxy settings): one synchronous GET
// streamed into a sink. The transfer runs on the caller's thread; abort() may come from any other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "net/byte_ranges.h"
#include "net/fetch_rules.h"

namespace utility {

class CHttpClient {
 public:
  class IHttpClientSink {
   public:
    virtual ~IHttpClientSink() = default;
    // A call failed at |step| (see the steps below) with a Windows Internet error code.
    virtual void onHttpError(int step, int systemError) = 0;
    // |contentLength| is -1 when the server sent none. False stops the request.
    virtual bool onHttpRecvHeader(int64_t contentLength, int status) = 0;
    // False stops the request.
    virtual bool onHttpRecvData(const char* data, int length) = 0;
    // The body has been read to its end.
    virtual void onHttpFinish() = 0;
    // The reply's header in full (what byte ranges need); by default its length and status.
    // False stops the request.
    virtual bool onHttpRecvReply(const net::ReplyFacts& reply) {
      return onHttpRecvHeader(reply.contentLength, reply.status);
    }
  };

  // Where a request failed.
  static constexpr int kStepOpen = 0;         // the session (trusted roots, proxy settings)
  static constexpr int kStepCrackUrl = 1;     // the URL does not split into scheme, host, port, path
  static constexpr int kStepConnect = 2;      // the server (or the proxy) cannot be reached
  static constexpr int kStepSendRequest = 6;  // the request could not be sent or answered (TLS too)
  static constexpr int kStepQueryStatus = 7;  // the reply carries no readable status

  static constexpr size_t kReadChunk = 32768;
  static constexpr size_t kMaxHostLength = 254;  // the host buffer holds 255 characters with its end

  // Connect and receive time-outs. The defaults are those of the target's system stack:
  // 60 s to connect, 30 s without data while waiting for the reply or its body.
  struct Timeouts {
    unsigned connectSeconds = 60;
    unsigned receiveSeconds = 30;
  };
  static Timeouts timeouts();
  static void setTimeoutsForTesting(const Timeouts* timeouts);  // null restores the defaults

  // The parts of a URL as the system's URL cracker splits it: the host (at most
  // kMaxHostLength characters), the port (the scheme's default when none is given) and the
  // object name, which runs from the start of the path to the end (query and fragment kept).
  struct UrlParts {
    std::wstring scheme;  // lower case: "http" or "https"
    std::wstring host;
    int port = 0;
    std::wstring objectName;
    bool secure = false;
  };
  // False with a Windows Internet error code when |url| does not split.
  static bool crackUrl(const std::wstring& url, UrlParts& parts, int& error);

  CHttpClient();
  ~CHttpClient();
  CHttpClient(const CHttpClient&) = delete;
  CHttpClient& operator=(const CHttpClient&) = delete;

  // For the requests from the next openUrl on: |rules.httpsOnly| refuses a plain-http address or
  // redirect, |rules.deadline| bounds a request from sending to the last byte. Whatever the
  // rules, only http and https are followed, and never from https to http.
  void setRules(const net::FetchRules& rules) { rules_ = rules; }

  // Opens the session and splits |url|; |headers| are extra request lines ("Name: value",
  // separated by CR LF). Remembers |sink| (not owned) for this request.
  bool openUrl(const std::wstring& url, const std::wstring& headers, IHttpClientSink* sink);
  // Runs the GET and streams the reply into the sink. True when the body was read to its end.
  bool sendAndReceive();
  // Closes the session of the last openUrl (the transfer's own thread).
  void closeHandle();
  // Ends a transfer under way at once, wherever it waits, including one whose openUrl is still
  // building its session or has not begun yet; any thread. The abort is for good: every later
  // session of this client starts cancelled, so a cancel that lands between an owner's check of
  // its stop flag and the next openUrl is not lost.
  void abort();

  // Tests: called by openUrl when it begins and just before its session becomes abortable
  // (null: nothing).
  enum class OpenStage { kEntered, kBeforePublish };
  static void setOpenHookForTesting(void (*hook)(CHttpClient*, OpenStage));

  const std::wstring& host() const { return host_; }
  int port() const { return port_; }
  const std::wstring& objectName() const { return objectName_; }
  bool secure() const { return secure_; }

 private:
  struct Handle;  // the open session and what cancels it

  void reportError(int step, int systemError);

  std::wstring scheme_;
  std::wstring host_;
  int port_ = 0;
  std::wstring objectName_;
  std::wstring headers_;
  bool secure_ = false;
  IHttpClientSink* sink_ = nullptr;
  net::FetchRules rules_{};

  std::mutex handleMutex_;  // guards the two below against abort() from another thread
  Handle* handle_ = nullptr;
  bool aborted_ = false;  // abort() came: every session from now on starts cancelled
};

}  // namespace utility
