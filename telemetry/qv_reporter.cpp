#include "telemetry/qv_reporter.h"

#include <rapidjson/document.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

#include <chrono>
#include <ctime>

#include "deployment/deployment.h"
#include "telemetry/device_identity.h"
#include "utility/base/clock.h"
#include "utility/system/log.h"
#include "utility/base/strings.h"

namespace {

QvReporter* const gReporter = new QvReporter();  // before main runs; never deleted

std::string utf8(const std::wstring& text) { return utility::wideToUtf8(text); }

}  // namespace

QvReporter& QvReporter::instance() { return *gReporter; }

QvReporter::QvReporter(uint32_t periodMs, telemetry::PostFunction post)
    : periodMs_(periodMs), post_(std::move(post)) {}

QvReporter::~QvReporter() { stop(); }

void QvReporter::init(const std::wstring& openid, const std::wstring& deviceId, const std::wstring& language) {
  if (started_) return;
  openid_ = openid;
  deviceId_ = deviceId;
  language_ = language;
  if (!post_) post_ = telemetry::defaultPostFunction();
  if (salt_.empty()) salt_ = deployment::values().reportSalt;
  if (url_.empty()) url_ = utility::wideToAnsi(L"https://" + deployment::values().collectionHost + L"/collection/biz/upload");
  started_ = worker_.start(makeRunable(this, &QvReporter::_threadReport));
}

void QvReporter::report(const wchar_t* eventKey, FillProperties fillProperties) {
  const int64_t seconds = static_cast<int64_t>(std::time(nullptr));
  Event event{eventKey != nullptr ? eventKey : L"", seconds * 1000, std::move(fillProperties)};
  std::lock_guard<std::mutex> lock(mutex_);
  queue_.push_back(std::move(event));
}

bool QvReporter::stop() {
  stopFlag_.store(true);
  {
    std::lock_guard<std::mutex> lock(wakeMutex_);
    wakeSignalled_ = true;
  }
  wake_.notify_all();
  return worker_.stop(kStopLimitMs);
}

std::string QvReporter::signature(const std::string& salt, int64_t requestTime, int batchCount) {
  const std::string text = salt + "timestamp=" + telemetry::decimal64(requestTime) + telemetry::decimal(batchCount * 1024);
  std::string hex;
  telemetry::md5Hex(text.data(), static_cast<long long>(text.size()), hex);
  if (hex.size() < 16) return {};
  return hex.substr(hex.size() - 8);
}

std::string QvReporter::buildBody(const std::deque<Event>& events) const {
  rapidjson::Document document(rapidjson::kArrayType);
  auto& allocator = document.GetAllocator();
  auto text = [&](const std::wstring& value) {
    const std::string bytes = utf8(value);
    return rapidjson::Value(bytes.c_str(), static_cast<rapidjson::SizeType>(bytes.size()), allocator);
  };
  for (const Event& event : events) {
    rapidjson::Value object(rapidjson::kObjectType);
    object.AddMember("appId", 1, allocator);
    object.AddMember("eventId", text(utility::newGuidString()), allocator);
    object.AddMember("eventKey", text(event.eventKey), allocator);
    object.AddMember("timestamp", rapidjson::Value(static_cast<int64_t>(event.timestamp)), allocator);
    rapidjson::Value properties(rapidjson::kObjectType);
    properties.AddMember("zaz_version", "2.2", allocator);
    properties.AddMember("zaz_mac", text(deviceId_), allocator);
    properties.AddMember("device_id", text(deviceId_), allocator);
    properties.AddMember("openid", text(openid_), allocator);
    properties.AddMember("language", text(language_), allocator);
    properties.AddMember("downloader_package", 1, allocator);
    if (event.fillProperties) event.fillProperties(properties, allocator);
    object.AddMember("properties", properties, allocator);
    document.PushBack(object, allocator);
  }
  rapidjson::StringBuffer buffer;
  rapidjson::PrettyWriter<rapidjson::StringBuffer> writer(buffer);
  document.Accept(writer);
  return std::string(buffer.GetString(), buffer.GetSize());
}

void QvReporter::_threadReport() {
  // At least one cycle, even when the stop came before the worker got going: what was queued
  // by then still goes out.
  do {
    common::logPrint("QvReporter::_threadReport", __LINE__, L"waitfor event");
    {
      std::unique_lock<std::mutex> lock(wakeMutex_);
      wake_.wait_for(lock, std::chrono::milliseconds(periodMs_), [&] { return wakeSignalled_; });
      wakeSignalled_ = false;
    }
    common::logPrint("QvReporter::_threadReport", __LINE__, L"event comming");
    _sendBatch();
  } while (!stopFlag_.load());
  // The stop may have come while a post was under way: what was queued meanwhile still goes.
  bool queued;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queued = !queue_.empty();
  }
  if (queued) _sendBatch();
}

void QvReporter::_sendBatch() {
  std::string body;
  int batchCount;
  {
    // The document is built under the lock: fillProperties run here, on this thread.
    std::lock_guard<std::mutex> lock(mutex_);
    batchCount = static_cast<int>(queue_.size());
    body = buildBody(queue_);
    queue_.clear();
  }
  if (body.size() < 6) {
    common::logPrint("QvReporter::_threadReport", __LINE__, L"no body");
    return;
  }
  const int64_t requestTime = static_cast<int64_t>(std::time(nullptr)) * 1000 + utility::tickCount() % 1000;
  const std::string sign = signature(salt_, requestTime, batchCount);
  if (sign.empty()) {
    common::logPrint("QvReporter::_threadReport", __LINE__, L"md5 calc error!!");
    return;
  }
  const std::vector<std::string> headers = {"timestamp: " + telemetry::decimal64(requestTime),
                                            "signature: " + sign};
  common::logPrint("QvReporter::_threadReport", __LINE__, L"post report quest");
  std::string reply;
  if (post_) post_(body, reply, url_, headers);
  common::logPrint("QvReporter::_threadReport", __LINE__, L"report ret:%s", utility::utf8ToWide(reply).c_str());
}
