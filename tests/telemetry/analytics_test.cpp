#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "telemetry/analytics_client.h"
#include "utility/system/network_adapters.h"

namespace {

// A post function that can hold the worker inside a post until released.
class Gate {
 public:
  telemetry::PostFunction function() {
    return [this](const std::string& body, std::string&, const std::string& url, const std::vector<std::string>& headers) {
      std::unique_lock<std::mutex> lock(mutex_);
      entered_++;
      entered.notify_all();
      opened.wait(lock, [&] { return permits_ > 0; });
      permits_--;
      bodies_.push_back(body);
      urls_.push_back(url);
      headerCounts_.push_back(headers.size());
      return true;
    };
  }
  void allow(int n) {
    std::lock_guard<std::mutex> lock(mutex_);
    permits_ += n;
    opened.notify_all();
  }
  void waitEntered(int n) {
    std::unique_lock<std::mutex> lock(mutex_);
    entered.wait_for(lock, std::chrono::seconds(20), [&] { return entered_ >= n; });
  }
  std::vector<std::string> bodies() {
    std::lock_guard<std::mutex> lock(mutex_);
    return bodies_;
  }
  std::vector<std::string> urls() {
    std::lock_guard<std::mutex> lock(mutex_);
    return urls_;
  }
  std::vector<size_t> headerCounts() {
    std::lock_guard<std::mutex> lock(mutex_);
    return headerCounts_;
  }
  int enteredCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return entered_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable entered, opened;
  int entered_ = 0;
  int permits_ = 0;
  std::vector<std::string> bodies_, urls_;
  std::vector<size_t> headerCounts_;
};

TEST(Analytics, CompactBodyAndUrl) {
  EXPECT_EQ(AnalyticsClient::buildBody(L"2-abc", L"download_run", L"12345"),
            "{\"client_id\":\"2-abc\",\"events\":[{\"name\":\"download_run\",\"params\":"
            "{\"event_category\":\"2.2\",\"event_label\":\"12345\"}}]}");
  Gate gate;
  AnalyticsClient client(gate.function());
  client.setHostForTesting(L"analytics.test");
  client.setCredentials(L"G-ABCDEFGH12", L"abcdefghijklmnopqrstu_");
  EXPECT_EQ(client.url(), "https://analytics.test/mp/collect?measurement_id=G-ABCDEFGH12&api_secret=abcdefghijklmnopqrstu_");
}

TEST(Analytics, QueueHoldsAtMostOneHundred) {
  Gate gate;
  {
    AnalyticsClient client(gate.function());
    client.setClientId(L"id");
    client.postEvent(L"e", L"0");
    gate.waitEntered(1);  // the worker holds event 0 inside its post
    for (int i = 1; i <= 100; ++i) client.postEvent(L"e", std::to_wstring(i));
    client.postEvent(L"e", L"dropped");  // the 101st pending event
    gate.allow(2);                       // event 0 ends; the worker takes event 1
    gate.waitEntered(2);
    client.postEvent(L"e", L"accepted");
    gate.allow(1000);
    for (int i = 0; i < 20000 && gate.bodies().size() < 102; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const auto bodies = gate.bodies();
  ASSERT_EQ(bodies.size(), 102u);
  EXPECT_NE(bodies[0].find("\"event_label\":\"0\""), std::string::npos);
  EXPECT_NE(bodies[100].find("\"event_label\":\"100\""), std::string::npos);
  EXPECT_NE(bodies[101].find("\"event_label\":\"accepted\""), std::string::npos);
  for (const auto& body : bodies) EXPECT_EQ(body.find("dropped"), std::string::npos);
  for (size_t count : gate.headerCounts()) EXPECT_EQ(count, 0u);  // only the fixed Content-Type line
}

TEST(Analytics, ClosedSendsNothingAndTeardownFinishesOnlyTheEventInFlight) {
  Gate gate;
  {
    AnalyticsClient client(gate.function());
    client.setClientId(L"id");
    client.postEvent(L"in_flight", L"x");
    gate.waitEntered(1);
    for (int i = 0; i < 99; ++i) client.postEvent(L"queued", L"x");
    client.close();
    client.postEvent(L"after_close", L"x");
    client.postEventNow(L"after_close_now", L"x");
    gate.allow(1000);  // teardown below waits for the event in flight only
  }
  const auto bodies = gate.bodies();
  // The event in flight finishes; the worker may take at most the ones it had already taken.
  ASSERT_GE(bodies.size(), 1u);
  EXPECT_NE(bodies[0].find("in_flight"), std::string::npos);
  for (const auto& body : bodies) EXPECT_EQ(body.find("after_close"), std::string::npos);
}

TEST(Analytics, TeardownWithFullQueueSendsOnlyTheEventInFlight) {
  Gate gate;
  {
    AnalyticsClient client(gate.function());
    client.setClientId(L"id");
    client.postEvent(L"in_flight", L"x");
    gate.waitEntered(1);
    for (int i = 0; i < 100; ++i) client.postEvent(L"queued", L"x");
    // The post in flight finishes only once teardown has told the worker to stop.
    client.setTeardownHookForTesting([&] { gate.allow(1000); });
  }
  const auto bodies = gate.bodies();
  ASSERT_EQ(bodies.size(), 1u);
  EXPECT_NE(bodies[0].find("in_flight"), std::string::npos);
}

TEST(Analytics, ClientIdIsTheDeviceId) {
  const std::vector<utility::HardwareAddress> adapters = {{0x00, 0x15, 0x5D, 0x0A, 0x1B, 0x2C, 0, 0}};
  utility::setNetworkAdaptersForTesting(&adapters);
  Gate gate;
  AnalyticsClient client(gate.function());
  const std::wstring id = client.ensureClientId();
  EXPECT_EQ(id, L"bceb1c9e61e0e8c1776f905edfcabf7f");  // MD5 of "00155D0A1B2C"
  const std::vector<utility::HardwareAddress> other = {{0x0A, 0x11, 0x22, 0x33, 0x44, 0x55, 0, 0}};
  utility::setNetworkAdaptersForTesting(&other);
  EXPECT_EQ(client.ensureClientId(), id);  // computed once: a later change of adapters is not seen
  utility::setNetworkAdaptersForTesting(nullptr);
}

}  // namespace
