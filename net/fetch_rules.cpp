#include "net/fetch_rules.h"

#include <atomic>

namespace net {

namespace {

std::atomic<int64_t> gRemoteDocumentDeadlineMs{kRemoteDocumentDeadline.count()};
std::atomic<int64_t> gLowRateWindowSeconds{kLowRateWindow.count()};

}  // namespace

std::chrono::milliseconds remoteDocumentDeadline() {
  return std::chrono::milliseconds(gRemoteDocumentDeadlineMs.load());
}

void setRemoteDocumentDeadlineForTesting(std::chrono::milliseconds deadline) {
  gRemoteDocumentDeadlineMs.store(deadline.count() > 0 ? deadline.count() : kRemoteDocumentDeadline.count());
}

std::chrono::seconds lowRateWindow() { return std::chrono::seconds(gLowRateWindowSeconds.load()); }

void setLowRateWindowForTesting(std::chrono::seconds window) {
  gLowRateWindowSeconds.store(window.count() > 0 ? window.count() : kLowRateWindow.count());
}

}  // namespace net
