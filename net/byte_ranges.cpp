#include "net/byte_ranges.h"

#include <cctype>

namespace net {

namespace {

std::string trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

bool equalsNoCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return i == a.size() && b[i] == '\0';
}

// Digits only, no sign, no overflow.
bool readNumber(const std::string& text, size_t& at, int64_t& value) {
  const size_t start = at;
  value = 0;
  while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
    if (value > (INT64_MAX - 9) / 10) return false;
    value = value * 10 + (text[at] - '0');
    ++at;
  }
  return at > start;
}

}  // namespace

std::string validatorOf(const ReplyFacts& reply) {
  const std::string etag = trimmed(reply.etag);
  // A strong entity tag is a quoted string; "W/" marks a weak one.
  if (etag.size() >= 2 && etag.front() == '"' && etag.back() == '"') return etag;
  return trimmed(reply.lastModified);
}

std::string rangeValidator(const ReplyFacts& reply) {
  if (!equalsNoCase(trimmed(reply.acceptRanges), "bytes")) return {};
  return validatorOf(reply);
}

bool parseContentRange(const std::string& text, ContentRange& range) {
  const std::string value = trimmed(text);
  if (value.size() < 6 || !equalsNoCase(value.substr(0, 6), "bytes ")) return false;
  size_t at = 6;
  while (at < value.size() && value[at] == ' ') ++at;
  ContentRange parsed;
  if (!readNumber(value, at, parsed.first) || at >= value.size() || value[at++] != '-') return false;
  if (!readNumber(value, at, parsed.last) || at >= value.size() || value[at++] != '/') return false;
  if (!readNumber(value, at, parsed.total) || at != value.size()) return false;
  if (parsed.first > parsed.last || parsed.last >= parsed.total) return false;
  range = parsed;
  return true;
}

std::string rangeRequestLines(const ResumePoint& point) {
  return "Range: bytes=" + std::to_string(point.offset) + "-\r\nIf-Range: " + point.validator;
}

RangeVerdict judgeRangeReply(const ResumePoint& asked, const ReplyFacts& reply, std::string& why) {
  if (reply.status == 206) {
    ContentRange range;
    if (!parseContentRange(reply.contentRange, range)) {
      why = "unreadable Content-Range \"" + reply.contentRange + "\"";
      return RangeVerdict::kRefuse;
    }
    if (range.first != asked.offset || range.total != asked.total || range.last != range.total - 1) {
      why = "Content-Range \"" + reply.contentRange + "\" is not the rest after " + std::to_string(asked.offset) +
            " of " + std::to_string(asked.total) + " bytes";
      return RangeVerdict::kRefuse;
    }
    if (reply.contentLength >= 0 && reply.contentLength != range.last - range.first + 1) {
      why = "length " + std::to_string(reply.contentLength) + " does not match Content-Range \"" +
            reply.contentRange + "\"";
      return RangeVerdict::kRefuse;
    }
    // A part of another version of the file would be spliced onto the old one.
    const std::string validator = validatorOf(reply);
    if (!validator.empty() && validator != asked.validator) {
      why = "validator changed from " + asked.validator + " to " + validator;
      return RangeVerdict::kRefuse;
    }
    return RangeVerdict::kContinue;
  }
  if (reply.status >= 200 && reply.status <= 299) {
    why = "status " + std::to_string(reply.status) + " instead of a part";
    return RangeVerdict::kRestart;
  }
  why = "status " + std::to_string(reply.status);
  return RangeVerdict::kRefuse;
}

}  // namespace net
