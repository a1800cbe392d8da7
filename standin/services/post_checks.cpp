#include "standin/services/post_checks.h"

#include <openssl/evp.h>
#include <rapidjson/document.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>

#include "deployment/deployment.h"
#include "utility/base/strings.h"

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

// The value the query of |target| gives |name|; nullopt when it gives none.
std::optional<std::string> queryParameter(const std::string& target, const std::string& name) {
  const size_t query = target.find('?');
  if (query == std::string::npos) return std::nullopt;
  size_t start = query + 1;
  while (start < target.size()) {
    size_t end = target.find('&', start);
    if (end == std::string::npos) end = target.size();
    const std::string pair = target.substr(start, end - start);
    start = end + 1;
    const size_t equals = pair.find('=');
    if (equals != std::string::npos && equals == name.size() && pair.compare(0, equals, name) == 0) {
      return pair.substr(equals + 1);
    }
  }
  return std::nullopt;
}

bool isDecimal(const std::string& text) {
  return !text.empty() && text.size() <= 19 &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string md5Hex(const std::string& text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(text.data(), text.size(), digest, &length, EVP_md5(), nullptr) != 1) return {};
  std::string hex;
  char pair[3];
  for (unsigned int i = 0; i < length; ++i) {
    std::snprintf(pair, sizeof(pair), "%02x", digest[i]);
    hex += pair;
  }
  return hex;
}

bool isString(const rapidjson::Value& object, const char* name) {
  const auto member = object.FindMember(name);
  return member != object.MemberEnd() && member->value.IsString();
}

// One event of a batch: its five members and the fixed properties the collection service
// needs to file it.
std::string checkEvent(const rapidjson::Value& event) {
  if (!event.IsObject()) return "an event is not an object";
  const auto appId = event.FindMember("appId");
  if (appId == event.MemberEnd() || !appId->value.IsInt()) return "an event has no appId";
  if (!isString(event, "eventId") || !isString(event, "eventKey")) return "an event has no eventId or eventKey";
  const auto time = event.FindMember("timestamp");
  if (time == event.MemberEnd() || !time->value.IsInt64()) return "an event has no timestamp";
  const auto properties = event.FindMember("properties");
  if (properties == event.MemberEnd() || !properties->value.IsObject()) return "an event has no properties";
  for (const char* name : {"zaz_version", "zaz_mac", "device_id", "openid", "language"}) {
    if (!isString(properties->value, name)) return std::string("an event has no property ") + name;
  }
  return {};
}

}  // namespace

std::string collectionSignature(const std::string& salt, const std::string& timestamp, size_t eventCount) {
  const std::string hex = md5Hex(salt + "timestamp=" + timestamp + std::to_string(eventCount * 1024));
  return hex.size() < 16 ? std::string() : hex.substr(hex.size() - 8);
}

Verdict checkCollectionBatch(const RecordedPost& post) {
  const std::string* contentType = header(post, "Content-Type");
  if (contentType == nullptr || *contentType != "application/json;charset=UTF-8") {
    return {false, "Content-Type is not application/json;charset=UTF-8"};
  }
  const std::string* timestamp = header(post, "timestamp");
  if (timestamp == nullptr || !isDecimal(*timestamp)) return {false, "no decimal timestamp header"};
  const std::string* signature = header(post, "signature");
  if (signature == nullptr || signature->empty()) return {false, "no signature header"};
  rapidjson::Document document;
  // Iteratively: a body nested a million deep must not exhaust the server thread's stack.
  document.Parse<rapidjson::kParseIterativeFlag>(post.body.data(), post.body.size());
  if (document.HasParseError() || !document.IsArray()) return {false, "body is not a JSON array"};
  if (document.Empty()) return {false, "the batch has no events"};
  const std::string expected =
      collectionSignature(deployment::compiledValues().reportSalt, *timestamp, document.Size());
  if (*signature != expected) {
    return {false, "bad signature " + *signature + " for " + std::to_string(document.Size()) + " events"};
  }
  for (const auto& event : document.GetArray()) {
    if (std::string problem = checkEvent(event); !problem.empty()) return {false, problem};
  }
  return {};
}

Verdict checkAnalyticsEvent(const RecordedPost& post) {
  const std::optional<std::string> id = queryParameter(post.target, "measurement_id");
  const std::optional<std::string> secret = queryParameter(post.target, "api_secret");
  if (!id || id->empty()) return {false, "no measurement_id"};
  if (!secret || secret->empty()) return {false, "no api_secret"};
  const deployment::Values& values = deployment::compiledValues();
  auto matches = [&](const deployment::AnalyticsCredentials& pair) {
    return utility::wideToUtf8(pair.measurementId) == *id && utility::wideToUtf8(pair.apiSecret) == *secret;
  };
  bool known = matches(values.analyticsDefault);
  for (const auto& entry : values.analyticsByLanguage) known = known || matches(entry.second);
  if (!known) return {false, "measurement_id and api_secret are not a pair of this deployment"};

  rapidjson::Document document;
  document.Parse<rapidjson::kParseIterativeFlag>(post.body.data(), post.body.size());
  if (document.HasParseError() || !document.IsObject()) return {false, "body is not a JSON object"};
  if (!isString(document, "client_id")) return {false, "no client_id"};
  const auto events = document.FindMember("events");
  if (events == document.MemberEnd() || !events->value.IsArray() || events->value.Empty()) {
    return {false, "no events array"};
  }
  for (const auto& event : events->value.GetArray()) {
    if (!event.IsObject() || !isString(event, "name")) return {false, "an event has no name"};
    const auto params = event.FindMember("params");
    if (params != event.MemberEnd() && !params->value.IsObject()) return {false, "params is not an object"};
  }
  return {};
}

}  // namespace standin
