// The one wrapper around libcurl: three blocking transfers, each on a handle of its own. Calls
// share no state and may run on several threads at once. libcurl's global initialisation and
// cleanup belong to the application object.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "net/byte_ranges.h"
#include "net/download_failure.h"
#include "net/fetch_rules.h"

class QvCurlDownloader {
 public:
  static constexpr uint64_t kNoLimit = UINT64_MAX;

  // GET |url| into |out|. On success |out| is replaced by the reply body (whatever the HTTP
  // status); on failure it is left as it was. A reply longer than |maxBytes| fails.
  static bool downloadMemory(const std::string& url, std::string& out, uint64_t maxBytes = kNoLimit);
  // The same under |rules| (size limit, overall deadline, https only).
  static bool downloadMemory(const std::string& url, std::string& out, const net::FetchRules& rules);

  // POST the JSON |body| (ANSI code page; sent as UTF-8) to |url| with the header line
  // "Content-Type:application/json;charset=UTF-8" followed by |headers| (complete lines, in
  // order). |out| receives the reply body on success.
  static bool postRequest(const std::string& body, std::string& out, const std::string& url,
                          const std::vector<std::string>& headers);

  // GET |url| into the file |path| (created or truncated), at most 20 MiB/s, at most 5
  // redirects. |onProgress| gets 0..99 at most once a second, on the transfer's thread. A file
  // written partly before a failure is left on disk.
  static bool downloadFile(const std::wstring& path, const std::string& url,
                           std::function<void(int percent)> onProgress);
  // The same under |rules| (deadline, https only and the minimum rate; the size is not limited).
  // On failure |failure|, when given, holds the cause where it is known. |onBytes|, when given,
  // gets the byte counts at the same moments (received so far; the total, 0 while unknown).
  // With |transfer|, a partial file at |path| is continued by a range request where it names one
  // (see net/byte_ranges.h), the bytes go to its digest, and it learns what a later attempt may
  // continue with; the percentage and the byte counts then count the kept bytes as done.
  static bool downloadFile(const std::wstring& path, const std::string& url,
                           std::function<void(int percent)> onProgress, const net::FetchRules& rules,
                           net::DownloadFailure* failure = nullptr,
                           std::function<void(int64_t received, int64_t total)> onBytes = nullptr,
                           net::FileTransfer* transfer = nullptr);

  // Every transfer: only http and https, never redirected from https to plain http, through the
  // proxy the desktop's settings name for the address (else the one the environment names).

  // Every transfer ends when no byte has moved for this long (a stalled connection must not
  // hold the installer forever), and the in-memory ones after this many redirects (a redirect
  // cycle must end). Post replies longer than kMaxPostReplyBytes fail.
  static constexpr long kStallSeconds = 60;
  static constexpr long kMaxMemoryRedirects = 30;
  static constexpr uint64_t kMaxPostReplyBytes = 8u << 20;
  // Tests: a shorter stall limit (0 restores kStallSeconds).
  static void setStallSecondsForTesting(long seconds);

  // What a transfer was set up with, exactly as libcurl was told, handed to the test hook just
  // before the transfer starts.
  struct TransferSettings {
    std::string protocols;          // CURLOPT_PROTOCOLS_STR
    std::string redirectProtocols;  // CURLOPT_REDIR_PROTOCOLS_STR
    std::string proxy;              // CURLOPT_PROXY (empty: direct)
    long connectTimeoutMs = 0;      // CURLOPT_CONNECTTIMEOUT_MS (0: libcurl's own)
    long timeoutMs = 0;             // CURLOPT_TIMEOUT_MS (0: none)
    long maxRedirects = -1;         // CURLOPT_MAXREDIRS
    long lowSpeedLimit = 0;         // CURLOPT_LOW_SPEED_LIMIT (bytes per second)
    long lowSpeedTime = 0;          // CURLOPT_LOW_SPEED_TIME (seconds)
  };
  static void setBeforePerformHookForTesting(void (*hook)(const TransferSettings& settings));
  // Tests: the tick count the progress throttle reads (null: the system's).
  static void setTickSourceForTesting(uint32_t (*tick)());
};
