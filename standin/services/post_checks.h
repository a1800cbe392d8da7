// Checks of what the receivers get. Each endpoint's checks live in post_checks.cpp so that
// stricter ones (the collection batch's signature) can grow there on their own.
#pragma once

#include <string>

#include "standin/services/services.h"

namespace standin {

struct Verdict {
  bool accepted = true;
  std::string reason;
};

// "/collection/biz/upload": a JSON array of events with "timestamp" and "signature" headers.
Verdict checkCollectionBatch(const RecordedPost& post);
// "/mp/collect": measurement id and api secret in the query; a JSON object with "client_id"
// and an "events" array.
Verdict checkAnalyticsEvent(const RecordedPost& post);

}  // namespace standin
