// What a single fetch must keep to, on either stack.
#pragma once

#include <chrono>
#include <cstdint>

namespace net {

struct FetchRules {
  // A reply longer than this fails (in-memory fetches).
  uint64_t maxBytes = UINT64_MAX;
  // From sending the request to the last byte; a server that trickles cannot hold the fetch
  // longer. Zero: no overall limit (the stall and idle limits still apply).
  std::chrono::milliseconds deadline{0};
  // Refuse a plain-http address, and a redirect to one, at every hop.
  bool httpsOnly = false;
  // A transfer that moves fewer than |minBytesPerSecond| on average over |minRateWindow| fails
  // (a server that trickles must not hold a large download; curl's low-speed limit). Zero: only
  // the stall and idle limits apply.
  uint64_t minBytesPerSecond = 0;
  std::chrono::seconds minRateWindow{0};
  // An error status (400 and above) fails the transfer on libcurl too, which would otherwise
  // deliver the error page as the file (the platform client accepts 2xx only, always).
  bool httpErrorsFail = false;
  // A body whose end cannot be told from a cut connection fails, so a truncated file is never
  // taken for a whole one: on libcurl one without a length or chunks, on the platform client one
  // without a length (libsoup reads a chunked body cut at a chunk boundary as complete).
  bool delimitedBodyOnly = false;
};

// The documents that configure a run are a few KiB: each fetch of one gets an overall limit of
// its own, from the request to the last byte.
inline constexpr std::chrono::milliseconds kRemoteDocumentDeadline{60000};
std::chrono::milliseconds remoteDocumentDeadline();
// Tests: a shorter limit (zero restores kRemoteDocumentDeadline).
void setRemoteDocumentDeadlineForTesting(std::chrono::milliseconds deadline);

// Large downloads (the full installer): at least 1 KiB/s over any 60 s.
inline constexpr uint64_t kLowRateBytesPerSecond = 1024;
inline constexpr std::chrono::seconds kLowRateWindow{60};
std::chrono::seconds lowRateWindow();
// Tests: a shorter window (zero restores kLowRateWindow).
void setLowRateWindowForTesting(std::chrono::seconds window);

}  // namespace net
