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
};

// The documents that configure a run are a few KiB: each fetch of one gets an overall limit of
// its own, from the request to the last byte.
inline constexpr std::chrono::milliseconds kRemoteDocumentDeadline{60000};
std::chrono::milliseconds remoteDocumentDeadline();
// Tests: a shorter limit (zero restores kRemoteDocumentDeadline).
void setRemoteDocumentDeadlineForTesting(std::chrono::milliseconds deadline);

}  // namespace net
