// Usage events for the collection service: queued from any thread, batched by a worker every
// 20 seconds, signed and posted. Best effort: a batch that fails to post is dropped.
#pragma once

#include <rapidjson/fwd.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "telemetry/post_function.h"
#include "utility/base/work_thread.h"

class QvReporter {
 public:
  // Adds the event's properties; the allocator is the batch document's.
  using FillProperties = std::function<void(rapidjson::Value& properties, rapidjson::MemoryPoolAllocator<rapidjson::CrtAllocator>& allocator)>;

  static constexpr uint32_t kPeriodMs = 20000;
  static constexpr uint32_t kStopLimitMs = 3000;

  // The process's reporter: made before main runs and never destroyed, so that a worker still
  // posting when the process ends never meets a destroyed reporter.
  static QvReporter& instance();

  // Tests construct their own with a shorter period and their own salt, URL or post function.
  explicit QvReporter(uint32_t periodMs = kPeriodMs, telemetry::PostFunction post = {});
  ~QvReporter();
  QvReporter(const QvReporter&) = delete;
  QvReporter& operator=(const QvReporter&) = delete;

  void init(const std::wstring& openid, const std::wstring& deviceId, const std::wstring& language);
  void report(const wchar_t* eventKey, FillProperties fillProperties = {});
  // The end of the run: wake the worker for a last cycle and stop it within the limit. False
  // when the worker is still posting after the limit (it goes on alone; the reporter must stay).
  bool stop();

  // Overrides for tests (salt and collection URL come from the deployment otherwise).
  void setSaltForTesting(std::string salt) { salt_ = std::move(salt); }
  void setUrlForTesting(std::string url) { url_ = std::move(url); }

  // The signed text's digest: salt, "timestamp=", T and count times 1024; "" when no digest.
  static std::string signature(const std::string& salt, int64_t requestTime, int batchCount);
  // The batch document of |events| as the worker writes it (pretty-printed JSON array).
  struct Event {
    std::wstring eventKey;
    int64_t timestamp;
    FillProperties fillProperties;
  };
  std::string buildBody(const std::deque<Event>& events) const;

 private:
  void _threadReport();
  void _sendBatch();

  const uint32_t periodMs_;
  telemetry::PostFunction post_;
  std::string salt_;
  std::string url_;

  std::mutex mutex_;  // guards queue_
  std::deque<Event> queue_;

  std::mutex wakeMutex_;
  std::condition_variable wake_;
  bool wakeSignalled_ = false;  // auto-reset event
  bool started_ = false;

  std::wstring openid_;
  std::wstring deviceId_;
  std::wstring language_;
  std::atomic<bool> stopFlag_{false};
  utility::WorkThread worker_;
};
