// The rules by which both stacks continue a partial file or start it anew.
#include "net/byte_ranges.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using net::RangeVerdict;
using net::ReplyFacts;

TEST(ByteRanges, TheValidatorIsAStrongETagElseLastModifiedAndOnlyWithByteRanges) {
  struct Case {
    const char* label;
    ReplyFacts reply;
    std::string validator;
  };
  const std::string date = "Tue, 01 Dec 2026 10:00:00 GMT";
  const Case cases[] = {
      {"strong ETag", {.acceptRanges = "bytes", .etag = "\"abc\"", .lastModified = date}, "\"abc\""},
      {"weak ETag: Last-Modified", {.acceptRanges = "bytes", .etag = "W/\"abc\"", .lastModified = date}, date},
      {"Last-Modified alone", {.acceptRanges = "Bytes", .lastModified = date}, date},
      {"unquoted ETag is no strong one", {.acceptRanges = "bytes", .etag = "abc"}, ""},
      {"no validator", {.acceptRanges = "bytes"}, ""},
      {"ranges not offered", {.acceptRanges = "none", .etag = "\"abc\""}, ""},
      {"no Accept-Ranges", {.etag = "\"abc\"", .lastModified = date}, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(net::rangeValidator(c.reply), c.validator) << c.label;
}

TEST(ByteRanges, ContentRangeIsReadStrictly) {
  net::ContentRange range;
  ASSERT_TRUE(net::parseContentRange("bytes 100-999/1000", range));
  EXPECT_EQ(range.first, 100);
  EXPECT_EQ(range.last, 999);
  EXPECT_EQ(range.total, 1000);
  for (const char* bad : {"", "bytes */1000", "bytes 100-999/*", "bytes 100-1000/1000", "bytes 5-4/10",
                          "items 0-1/2", "bytes -1-5/10", "bytes 0-1/2, 3-4/5", "bytes 0-1/2x",
                          "bytes 0-99999999999999999999/1"}) {
    EXPECT_FALSE(net::parseContentRange(bad, range)) << bad;
  }
}

// A reply to "the rest after 400 of 1000 bytes of the file with validator V": only exactly that
// is added to the partial file; a whole reply starts anew; anything else is not used at all.
TEST(ByteRanges, OnlyExactlyTheRestOfTheSameFileContinues) {
  const net::ResumePoint asked{.offset = 400, .validator = "\"v1\"", .total = 1000};
  struct Case {
    const char* label;
    ReplyFacts reply;
    RangeVerdict verdict;
  };
  const Case cases[] = {
      {"the rest", {.status = 206, .contentLength = 600, .etag = "\"v1\"", .contentRange = "bytes 400-999/1000"},
       RangeVerdict::kContinue},
      {"the rest, no validator repeated", {.status = 206, .contentRange = "bytes 400-999/1000"}, RangeVerdict::kContinue},
      {"range ignored: the whole file", {.status = 200, .contentLength = 1000}, RangeVerdict::kRestart},
      {"starts one byte early", {.status = 206, .contentRange = "bytes 399-999/1000"}, RangeVerdict::kRefuse},
      {"starts late", {.status = 206, .contentRange = "bytes 401-999/1000"}, RangeVerdict::kRefuse},
      {"another total", {.status = 206, .contentRange = "bytes 400-1199/1200"}, RangeVerdict::kRefuse},
      {"not to the end", {.status = 206, .contentRange = "bytes 400-499/1000"}, RangeVerdict::kRefuse},
      {"length and range disagree",
       {.status = 206, .contentLength = 500, .contentRange = "bytes 400-999/1000"}, RangeVerdict::kRefuse},
      {"no Content-Range", {.status = 206, .contentLength = 600}, RangeVerdict::kRefuse},
      {"validator changed", {.status = 206, .etag = "\"v2\"", .contentRange = "bytes 400-999/1000"},
       RangeVerdict::kRefuse},
      {"range not satisfiable", {.status = 416, .contentRange = "bytes */1000"}, RangeVerdict::kRefuse},
      {"server error", {.status = 503}, RangeVerdict::kRefuse},
  };
  for (const Case& c : cases) {
    std::string why;
    EXPECT_EQ(net::judgeRangeReply(asked, c.reply, why), c.verdict) << c.label;
    if (c.verdict != RangeVerdict::kContinue) {
      EXPECT_FALSE(why.empty()) << c.label;
    }
  }
}

TEST(ByteRanges, RequestLinesAndResumePoints) {
  const net::ResumePoint point{.offset = 400, .validator = "\"v1\"", .total = 1000};
  EXPECT_EQ(net::rangeRequestLines(point), "Range: bytes=400-\r\nIf-Range: \"v1\"");
  EXPECT_TRUE(point.valid());
  EXPECT_FALSE((net::ResumePoint{.offset = 0, .validator = "\"v1\"", .total = 1000}.valid()));
  EXPECT_FALSE((net::ResumePoint{.offset = 400, .validator = "", .total = 1000}.valid()));
  EXPECT_FALSE((net::ResumePoint{.offset = 1000, .validator = "\"v1\"", .total = 1000}.valid()));
}

}  // namespace
