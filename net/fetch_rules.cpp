#include "net/fetch_rules.h"

#include <atomic>

namespace net {

namespace {

std::atomic<int64_t> gRemoteDocumentDeadlineMs{kRemoteDocumentDeadline.count()};

}  // namespace

std::chrono::milliseconds remoteDocumentDeadline() {
  return std::chrono::milliseconds(gRemoteDocumentDeadlineMs.load());
}

void setRemoteDocumentDeadlineForTesting(std::chrono::milliseconds deadline) {
  gRemoteDocumentDeadlineMs.store(deadline.count() > 0 ? deadline.count() : kRemoteDocumentDeadline.count());
}

}  // namespace net
