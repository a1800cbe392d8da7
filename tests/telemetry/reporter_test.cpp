#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <regex>
#include <thread>

#include "telemetry/device_identity.h"
#include "telemetry/qv_reporter.h"
#include "utility/system/log.h"
#include "utility/base/strings.h"

namespace {

struct Post {
  std::string body, url;
  std::vector<std::string> headers;
};

// Records what the reporter posts, and what it logs.
class Recorder {
 public:
  telemetry::PostFunction function(bool succeed = true) {
    return [this, succeed](const std::string& body, std::string& reply, const std::string& url,
                           const std::vector<std::string>& headers) {
      std::lock_guard<std::mutex> lock(mutex_);
      posts_.push_back({body, url, headers});
      reply = succeed ? "{\"code\":0}" : "";
      return succeed;
    };
  }
  std::vector<Post> posts() {
    std::lock_guard<std::mutex> lock(mutex_);
    return posts_;
  }
  bool waitForPosts(size_t count) {
    for (int i = 0; i < 20000; ++i) {
      if (posts().size() >= count) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
  }

 private:
  std::mutex mutex_;
  std::vector<Post> posts_;
};

std::mutex gLogMutex;
std::vector<std::string> gLog;
void captureLog(const char* function, int, const wchar_t* text) {
  std::lock_guard<std::mutex> lock(gLogMutex);
  gLog.push_back(std::string(function) + ":" + utility::wideToUtf8(text));
}
size_t logCount(const std::string& line) {
  std::lock_guard<std::mutex> lock(gLogMutex);
  return static_cast<size_t>(std::count(gLog.begin(), gLog.end(), line));
}
// Waits (20 s at most) until the worker has logged |line|.
bool waitForLog(const std::string& line) {
  for (int i = 0; i < 20000 && logCount(line) == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return logCount(line) > 0;
}

class ReporterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    common::setLogHook(captureLog);
    std::lock_guard<std::mutex> lock(gLogMutex);
    gLog.clear();
  }
  void TearDown() override { common::setLogHook(nullptr); }
};

TEST_F(ReporterTest, ExactBatchDocument) {
  QvReporter reporter(50);
  reporter.init(L"35036", L"2-0123456789abcdef0123456789abcdef", L"en");
  reporter.stop();
  std::deque<QvReporter::Event> events;
  events.push_back({L"run_downloader", 1733788800000, {}});
  events.push_back({L"download_duration", 1733788801000, [](rapidjson::Value& properties, auto& allocator) {
                      properties.AddMember("duration", 5120, allocator);
                    }});
  const std::string body = reporter.buildBody(events);
  const std::regex expected(
      "\\[\n"
      "    \\{\n"
      "        \"appId\": 1,\n"
      "        \"eventId\": \"[0-9A-F]{8}_[0-9A-F]{4}_[0-9a-f]{4}_[0-9A-F]{4}_[0-9A-F]{12}\",\n"
      "        \"eventKey\": \"run_downloader\",\n"
      "        \"timestamp\": 1733788800000,\n"
      "        \"properties\": \\{\n"
      "            \"zaz_version\": \"2.2\",\n"
      "            \"zaz_mac\": \"2-0123456789abcdef0123456789abcdef\",\n"
      "            \"device_id\": \"2-0123456789abcdef0123456789abcdef\",\n"
      "            \"openid\": \"35036\",\n"
      "            \"language\": \"en\",\n"
      "            \"downloader_package\": 1\n"
      "        \\}\n"
      "    \\},\n"
      "    \\{\n"
      "        \"appId\": 1,\n"
      "        \"eventId\": \"[0-9A-F_a-f]{36}\",\n"
      "        \"eventKey\": \"download_duration\",\n"
      "        \"timestamp\": 1733788801000,\n"
      "        \"properties\": \\{\n"
      "            \"zaz_version\": \"2.2\",\n"
      "            \"zaz_mac\": \"2-0123456789abcdef0123456789abcdef\",\n"
      "            \"device_id\": \"2-0123456789abcdef0123456789abcdef\",\n"
      "            \"openid\": \"35036\",\n"
      "            \"language\": \"en\",\n"
      "            \"downloader_package\": 1,\n"
      "            \"duration\": 5120\n"
      "        \\}\n"
      "    \\}\n"
      "\\]");
  EXPECT_TRUE(std::regex_match(body, expected)) << body;
  EXPECT_EQ(reporter.buildBody({}), "[]");
}

TEST_F(ReporterTest, SignatureIsTheLastEightDigitsOfTheSaltedDigest) {
  std::string digest;
  const std::string text = "QXMTstK4Mtimestamp=17337888001232048";
  telemetry::md5Hex(text.data(), static_cast<long long>(text.size()), digest);
  EXPECT_EQ(QvReporter::signature("QXMTstK4M", 1733788800123, 2), digest.substr(24));
  EXPECT_NE(QvReporter::signature("QXMTstK4M", 1733788800123, 1), QvReporter::signature("QXMTstK4M", 1733788800123, 2));
}

TEST_F(ReporterTest, OneSignedRequestPerCycleInQueueOrder) {
  Recorder recorder;
  QvReporter reporter(100, recorder.function());
  reporter.setSaltForTesting("saltsalt9");
  reporter.setUrlForTesting("https://collector.test/collection/biz/upload");
  reporter.report(L"run_downloader");  // before init: waits for the first batch
  reporter.report(L"start_downloader");
  reporter.init(L"12345", L"abc", L"kr");
  ASSERT_TRUE(recorder.waitForPosts(1));
  // A later cycle finds nothing to send.
  EXPECT_TRUE(waitForLog("QvReporter::_threadReport:no body"));
  reporter.stop();
  const auto posts = recorder.posts();
  ASSERT_EQ(posts.size(), 1u);
  const Post& post = posts[0];
  EXPECT_EQ(post.url, "https://collector.test/collection/biz/upload");
  rapidjson::Document document;
  ASSERT_FALSE(document.Parse(post.body.c_str()).HasParseError());
  ASSERT_EQ(document.Size(), 2u);
  EXPECT_STREQ(document[0]["eventKey"].GetString(), "run_downloader");
  EXPECT_STREQ(document[1]["eventKey"].GetString(), "start_downloader");
  EXPECT_EQ(document[0]["timestamp"].GetInt64() % 1000, 0);
  EXPECT_STREQ(document[1]["properties"]["openid"].GetString(), "12345");
  ASSERT_EQ(post.headers.size(), 2u);
  ASSERT_EQ(post.headers[0].rfind("timestamp: ", 0), 0u);
  const long long requestTime = std::stoll(post.headers[0].substr(11));
  EXPECT_EQ(post.headers[1], "signature: " + QvReporter::signature("saltsalt9", requestTime, 2));
  EXPECT_EQ(logCount("QvReporter::_threadReport:post report quest"), 1u);
  EXPECT_EQ(logCount("QvReporter::_threadReport:report ret:{\"code\":0}"), 1u);
}

TEST_F(ReporterTest, FailedPostDropsTheBatch) {
  Recorder failing;
  QvReporter reporter(50, failing.function(false));
  reporter.setUrlForTesting("https://collector.test/collection/biz/upload");
  reporter.init(L"1", L"d", L"en");
  reporter.report(L"download_fail");
  ASSERT_TRUE(failing.waitForPosts(1));
  // Wait for a later cycle: it finds nothing to send.
  EXPECT_TRUE(waitForLog("QvReporter::_threadReport:no body"));
  reporter.stop();
  EXPECT_EQ(failing.posts().size(), 1u);
  EXPECT_EQ(logCount("QvReporter::_threadReport:report ret:"), 1u);
}

TEST_F(ReporterTest, StopSendsWhatIsQueuedInOneLastCycle) {
  Recorder recorder;
  QvReporter reporter(QvReporter::kPeriodMs, recorder.function());
  reporter.setUrlForTesting("https://collector.test/collection/biz/upload");
  reporter.init(L"1", L"d", L"en");
  reporter.report(L"cancel_download");
  reporter.stop();  // wakes the worker at once; it sends, sees the stop flag and returns
  ASSERT_EQ(recorder.posts().size(), 1u);
  EXPECT_NE(recorder.posts()[0].body.find("\"cancel_download\""), std::string::npos);
  reporter.stop();  // nothing left to do
  EXPECT_EQ(recorder.posts().size(), 1u);
}

// A post that waits until the test lets it go.
class HeldPost {
 public:
  telemetry::PostFunction function() {
    return [this](const std::string& body, std::string& reply, const std::string&, const std::vector<std::string>&) {
      std::unique_lock<std::mutex> lock(mutex_);
      bodies_.push_back(body);
      changed_.notify_all();
      changed_.wait(lock, [&] { return released_; });
      reply = "{}";
      return true;
    };
  }
  void waitForPosts(size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return bodies_.size() >= count; });
  }
  void release() {
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }
  std::vector<std::string> bodies() {
    std::lock_guard<std::mutex> lock(mutex_);
    return bodies_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> bodies_;
  bool released_ = false;
};

TEST_F(ReporterTest, EventsQueuedWhileTheLastPostIsUnderWayStillGoOut) {
  HeldPost post;
  QvReporter reporter(QvReporter::kPeriodMs, post.function());
  reporter.setUrlForTesting("https://collector.test/collection/biz/upload");
  reporter.init(L"1", L"d", L"en");
  reporter.report(L"cancel_download");
  bool ended = false;
  std::thread stopper([&] { ended = reporter.stop(); });
  post.waitForPosts(1);              // the stop woke the worker; its post is under way
  reporter.report(L"download_fail");  // queued during that post
  post.release();
  stopper.join();
  EXPECT_TRUE(ended);
  const auto bodies = post.bodies();
  ASSERT_EQ(bodies.size(), 2u);
  EXPECT_NE(bodies[1].find("\"download_fail\""), std::string::npos);
}

TEST_F(ReporterTest, StopSaysSoWhenThePostOutlastsTheLimit) {
  // Both outlive the test, as the process's reporter outlives main: the worker goes on alone.
  // Each run of the test gets its own pair; a process-wide list keeps them reachable rather
  // than leaked.
  struct Abandoned {
    HeldPost* post;
    QvReporter* reporter;
  };
  static auto* const abandoned = new std::vector<Abandoned>;
  auto* const post = new HeldPost;
  auto* const reporter = new QvReporter(QvReporter::kPeriodMs, post->function());
  abandoned->push_back({post, reporter});
  reporter->setUrlForTesting("https://collector.test/collection/biz/upload");
  reporter->init(L"1", L"d", L"en");
  reporter->report(L"cancel_download");
  EXPECT_FALSE(reporter->stop());  // the post is still held after the limit
  post->release();
  EXPECT_TRUE(waitForLog("QvReporter::_threadReport:report ret:{}"));
  EXPECT_EQ(logCount("QvReporter::_threadReport:report ret:{}"), 1u);
}

}  // namespace
