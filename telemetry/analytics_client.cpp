#include "telemetry/analytics_client.h"

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <system_error>

#include "deployment/deployment.h"
#include "telemetry/device_identity.h"
#include "utility/base/strings.h"

AnalyticsClient::AnalyticsClient(telemetry::PostFunction post) : post_(std::move(post)) {
  if (!post_) post_ = telemetry::defaultPostFunction();
}

AnalyticsClient::~AnalyticsClient() {
  std::future<void> worker;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    worker = std::move(worker_);
  }
  wake_.notify_all();
  if (teardownHook_) teardownHook_();
  if (worker.valid()) worker.wait();
}

void AnalyticsClient::setCredentials(const std::wstring& measurementId, const std::wstring& apiSecret) {
  std::lock_guard<std::mutex> lock(mutex_);
  measurementId_ = measurementId;
  apiSecret_ = apiSecret;
}

std::wstring AnalyticsClient::ensureClientId() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (clientId_.empty()) {
    std::string id;
    telemetry::computeDeviceId(id);
    clientId_ = utility::utf8ToWide(id);
  }
  return clientId_;
}

void AnalyticsClient::setClientId(const std::wstring& clientId) {
  std::lock_guard<std::mutex> lock(mutex_);
  clientId_ = clientId;
}

void AnalyticsClient::close() {
  std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
}

bool AnalyticsClient::isClosed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return closed_;
}

void AnalyticsClient::postEvent(const std::wstring& name, const std::wstring& label) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_ || stop_) return;
    if (queue_.size() >= kMaxPending) return;  // full: dropped without a trace
    queue_.emplace_back(name, label);
    const bool running =
        worker_.valid() && worker_.wait_for(std::chrono::seconds(0)) != std::future_status::ready;
    if (!running) {
      try {
        worker_ = std::async(std::launch::async, [this] { workerLoop(); });
      } catch (const std::system_error&) {
        // No thread to be had now: the event waits in the queue for the next attempt.
      }
    }
  }
  wake_.notify_one();
}

void AnalyticsClient::postEventNow(const std::wstring& name, const std::wstring& label) {
  if (isClosed()) return;
  send(name, label);
}

void AnalyticsClient::workerLoop() {
  ensureClientId();
  while (true) {
    std::pair<std::wstring, std::wstring> event;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [&] { return !queue_.empty() || stop_; });
      if (stop_) return;  // what is still queued is dropped
      event = std::move(queue_.front());
      queue_.pop_front();
      busy_ = true;
    }
    send(event.first, event.second);
    std::lock_guard<std::mutex> lock(mutex_);
    busy_ = false;
  }
}

std::string AnalyticsClient::buildBody(const std::wstring& clientId, const std::wstring& name, const std::wstring& label) {
  rapidjson::Document document(rapidjson::kObjectType);
  auto& allocator = document.GetAllocator();
  auto text = [&](const std::wstring& value) {
    const std::string bytes = utility::wideToAnsi(value);
    return rapidjson::Value(bytes.c_str(), static_cast<rapidjson::SizeType>(bytes.size()), allocator);
  };
  rapidjson::Value params(rapidjson::kObjectType);
  params.AddMember("event_category", "2.2", allocator);
  params.AddMember("event_label", text(label), allocator);
  rapidjson::Value event(rapidjson::kObjectType);
  event.AddMember("name", text(name), allocator);
  event.AddMember("params", params, allocator);
  rapidjson::Value events(rapidjson::kArrayType);
  events.PushBack(event, allocator);
  document.AddMember("client_id", text(clientId), allocator);
  document.AddMember("events", events, allocator);
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  document.Accept(writer);
  return std::string(buffer.GetString(), buffer.GetSize());
}

std::string AnalyticsClient::url() const {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::wstring host = host_.empty() ? deployment::values().analyticsHost : host_;
  return utility::wideToAnsi(L"https://" + host + L"/mp/collect?measurement_id=" + measurementId_ +
                             L"&api_secret=" + apiSecret_);
}

void AnalyticsClient::send(const std::wstring& name, const std::wstring& label) {
  std::wstring clientId;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    clientId = clientId_;
  }
  const std::string body = buildBody(clientId, name, label);
  std::string reply;
  post_(body, reply, url(), {});
}
