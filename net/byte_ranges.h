// Continuing a file download with a range request: what a reply says about byte ranges, the
// validator a later request names in If-Range, and whether a reply to such a request may be
// added to the partial file. Both stacks decide by these rules, so neither ever splices bytes of
// two different files or of the wrong place.
#pragma once

#include <cstdint>
#include <string>

namespace utility {
class Sha256;
}

namespace net {

// The parts of a reply's header that matter here (values as sent, empty when absent).
struct ReplyFacts {
  int status = 0;
  int64_t contentLength = -1;  // -1: none sent
  std::string acceptRanges{};
  std::string etag{};
  std::string lastModified{};
  std::string contentRange{};
};

// A strong ETag, else Last-Modified; empty when the reply has neither (a weak ETag does not
// vouch for the bytes).
std::string validatorOf(const ReplyFacts& reply);
// The validator of a reply that offers byte ranges ("Accept-Ranges: bytes"); empty otherwise.
std::string rangeValidator(const ReplyFacts& reply);

// "bytes <first>-<last>/<total>"; false for anything else (also "*" totals and lists).
struct ContentRange {
  int64_t first = 0;
  int64_t last = 0;
  int64_t total = 0;
};
bool parseContentRange(const std::string& text, ContentRange& range);

// A partial file to continue: its length and what the reply that began it said.
struct ResumePoint {
  int64_t offset = 0;     // bytes kept; 0: from the start
  std::string validator{};  // sent as If-Range
  int64_t total = -1;     // the whole file's length
  bool valid() const { return offset > 0 && !validator.empty() && total > offset; }
};

// The request lines that ask for the rest of the file after |point|.
std::string rangeRequestLines(const ResumePoint& point);

enum class RangeVerdict {
  kContinue,  // 206 for exactly the rest of the same file: add to the partial file
  kRestart,   // a whole reply (200): the partial file is discarded, the body starts it anew
  kRefuse,    // anything else: nothing of this reply is used, the partial file is discarded
};
// How the reply |reply| to a range request for |asked| is used; |why| names a refusal or a
// restart for the log.
RangeVerdict judgeRangeReply(const ResumePoint& asked, const ReplyFacts& reply, std::string& why);

// What a file download continues from and what it learns, handed through every attempt of both
// stacks.
struct FileTransfer {
  // In: the partial file to continue (offset 0: a fresh download).
  ResumePoint resume{};
  // Given every byte of the finished file once, in order (the kept part when a download
  // continues); reset when a download starts anew. May be null.
  utility::Sha256* digest = nullptr;
  // Out: what a later attempt may continue with (the validator stays empty when the server
  // offered no ranges), and how the attempt went.
  std::string validator{};
  int64_t total = -1;
  int64_t resumedBytes = 0;      // bytes kept from the partial file (0: started from zero)
  bool partialDiscarded = false; // a reply could not continue the partial file: it is unusable
};

}  // namespace net
