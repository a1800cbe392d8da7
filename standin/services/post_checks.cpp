#include "standin/services/post_checks.h"

#include <rapidjson/document.h>

#include <algorithm>
#include <cctype>

namespace standin {

namespace {

const std::string* header(const RecordedPost& post, const std::string& name) {
  for (const auto& [key, value] : post.headers) {
    if (key.size() == name.size() &&
        std::equal(key.begin(), key.end(), name.begin(), [](char a, char b) {
          return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
        })) {
      return &value;
    }
  }
  return nullptr;
}

// Whether the query of |target| gives |name| a non-empty value.
bool hasQueryParameter(const std::string& target, const std::string& name) {
  const size_t query = target.find('?');
  if (query == std::string::npos) return false;
  size_t start = query + 1;
  while (start < target.size()) {
    size_t end = target.find('&', start);
    if (end == std::string::npos) end = target.size();
    const std::string pair = target.substr(start, end - start);
    start = end + 1;
    const size_t equals = pair.find('=');
    if (equals != std::string::npos && pair.compare(0, equals, name) == 0 && equals == name.size() &&
        equals + 1 < pair.size()) {
      return true;
    }
  }
  return false;
}

}  // namespace

Verdict checkCollectionBatch(const RecordedPost& post) {
  rapidjson::Document document;
  document.Parse(post.body.data(), post.body.size());
  if (document.HasParseError() || !document.IsArray()) return {false, "body is not a JSON array"};
  const std::string* timestamp = header(post, "timestamp");
  if (timestamp == nullptr || timestamp->empty()) return {false, "no timestamp header"};
  const std::string* signature = header(post, "signature");
  if (signature == nullptr || signature->empty()) return {false, "no signature header"};
  return {};
}

Verdict checkAnalyticsEvent(const RecordedPost& post) {
  if (!hasQueryParameter(post.target, "measurement_id")) return {false, "no measurement_id"};
  if (!hasQueryParameter(post.target, "api_secret")) return {false, "no api_secret"};
  rapidjson::Document document;
  document.Parse(post.body.data(), post.body.size());
  if (document.HasParseError() || !document.IsObject()) return {false, "body is not a JSON object"};
  const auto client = document.FindMember("client_id");
  if (client == document.MemberEnd() || !client->value.IsString()) return {false, "no client_id"};
  const auto events = document.FindMember("events");
  if (events == document.MemberEnd() || !events->value.IsArray()) return {false, "no events array"};
  return {};
}

}  // namespace standin
