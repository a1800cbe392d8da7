// The one wrapper around libcurl: three blocking transfers, each on a handle of its own. Calls
// share no state and may run on several threads at once. libcurl's global initialisation and
// cleanup belong to the application object.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QvCurlDownloader {
 public:
  static constexpr uint64_t kNoLimit = UINT64_MAX;

  // GET |url| into |out|. On success |out| is replaced by the reply body (whatever the HTTP
  // status); on failure it is left as it was. A reply longer than |maxBytes| fails.
  static bool downloadMemory(const std::string& url, std::string& out, uint64_t maxBytes = kNoLimit);

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

  // Every transfer ends when no byte has moved for this long (a stalled connection must not
  // hold the installer forever), and the in-memory ones after this many redirects (a redirect
  // cycle must end). Post replies longer than kMaxPostReplyBytes fail.
  static constexpr long kStallSeconds = 60;
  static constexpr long kMaxMemoryRedirects = 30;
  static constexpr uint64_t kMaxPostReplyBytes = 8u << 20;
  // Tests: a shorter stall limit (0 restores kStallSeconds).
  static void setStallSecondsForTesting(long seconds);
};
