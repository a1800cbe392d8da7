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

// The "signature" header the collection service expects: the last 8 hex digits of the MD5 of
// the salt, "timestamp=", the timestamp header and the event count times 1024.
std::string collectionSignature(const std::string& salt, const std::string& timestamp, size_t eventCount);

// "/collection/biz/upload": the JSON Content-Type, a decimal "timestamp" header, a "signature"
// header made with the deployment's salt for the body's event count, and a non-empty JSON array
// of well-formed events.
Verdict checkCollectionBatch(const RecordedPost& post);
// "/mp/collect": a measurement id and api secret that are one of the deployment's pairs; a JSON
// object with "client_id" and a non-empty "events" array of named events.
Verdict checkAnalyticsEvent(const RecordedPost& post);

}  // namespace standin
