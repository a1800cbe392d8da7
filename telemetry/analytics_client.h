// Analytics events (Measurement Protocol): one HTTPS POST per event with the device id as
// client id. Queued events go out on a background worker; postEventNow sends on the caller's
// thread (exit paths).
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <utility>

#include "telemetry/post_function.h"

class AnalyticsClient {
 public:
  static constexpr size_t kMaxPending = 100;

  explicit AnalyticsClient(telemetry::PostFunction post = {});
  // Stops the worker: the event being sent finishes, the rest are dropped.
  ~AnalyticsClient();
  AnalyticsClient(const AnalyticsClient&) = delete;
  AnalyticsClient& operator=(const AnalyticsClient&) = delete;

  void setCredentials(const std::wstring& measurementId, const std::wstring& apiSecret);
  // The device id, computed on first need.
  std::wstring ensureClientId();
  void setClientId(const std::wstring& clientId);

  void postEvent(const std::wstring& name, const std::wstring& label);
  void postEventNow(const std::wstring& name, const std::wstring& label);
  // From now on both posting calls do nothing.
  void close();
  bool isClosed() const;

  // Overrides the endpoint's authority (tests); the deployment's otherwise.
  void setHostForTesting(std::wstring host) { host_ = std::move(host); }
  // Tests: called by the destructor once the worker has been told to stop, before it is waited
  // for, so a test can finish the post in flight exactly then.
  void setTeardownHookForTesting(std::function<void()> hook) { teardownHook_ = std::move(hook); }

  static std::string buildBody(const std::wstring& clientId, const std::wstring& name, const std::wstring& label);
  std::string url() const;

 private:
  void workerLoop();
  void send(const std::wstring& name, const std::wstring& label);

  telemetry::PostFunction post_;
  std::wstring host_;
  std::wstring clientId_;
  std::wstring measurementId_;
  std::wstring apiSecret_;

  mutable std::mutex mutex_;  // queue, flags, wake-up
  std::condition_variable wake_;
  std::deque<std::pair<std::wstring, std::wstring>> queue_;
  std::future<void> worker_;
  bool stop_ = false;
  bool busy_ = false;
  bool closed_ = false;
  std::function<void()> teardownHook_;
};
