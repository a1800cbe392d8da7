// The event channels against the stand-in collection and analytics services.
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <chrono>
#include <thread>

#include "deployment/deployment.h"
#include "model/config_imp.h"
#include "standin/services/services.h"
#include "telemetry/analytics_client.h"
#include "telemetry/qv_reporter.h"
#include "utility/base/strings.h"

namespace {

class TelemetryAgainstServices : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { curl_global_init(CURL_GLOBAL_ALL); }
  static void TearDownTestSuite() { curl_global_cleanup(); }

  void SetUp() override {
    ASSERT_GT(services_.start(), 0);
    values_ = deployment::withServicesAuthority(deployment::compiledValues(),
                                                L"127.0.0.1:" + std::to_wstring(services_.port()));
    deployment::setValuesForTesting(&values_);
  }
  void TearDown() override {
    deployment::setValuesForTesting(nullptr);
    services_.stop();
  }

  std::vector<standin::RecordedPost> postsTo(const std::string& path, size_t atLeast) {
    for (int i = 0; i < 20000; ++i) {
      std::vector<standin::RecordedPost> found;
      for (const auto& post : services_.posts()) {
        if (post.path == path) found.push_back(post);
      }
      if (found.size() >= atLeast) return found;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return {};
  }

  standin::Services services_;
  deployment::Values values_;
};

TEST_F(TelemetryAgainstServices, CollectionAcceptsTheSignedBatch) {
  QvReporter reporter(QvReporter::kPeriodMs);
  reporter.report(L"run_downloader");  // before init: goes out with the first batch
  reporter.init(L"35036", L"0123456789abcdef0123456789abcdef", L"en");
  reporter.report(L"download_duration", [](rapidjson::Value& properties, auto& allocator) {
    properties.AddMember("duration", 1234, allocator);
  });
  reporter.stop();  // the last cycle sends both
  const auto posts = postsTo("/collection/biz/upload", 1);
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_TRUE(posts[0].accepted) << posts[0].reason;
  rapidjson::Document batch;
  ASSERT_FALSE(batch.Parse(posts[0].body.c_str()).HasParseError());
  ASSERT_EQ(batch.Size(), 2u);
  EXPECT_STREQ(batch[0]["eventKey"].GetString(), "run_downloader");
  EXPECT_EQ(batch[1]["properties"]["duration"].GetInt(), 1234);
}

TEST_F(TelemetryAgainstServices, CollectionRefusesAWrongSalt) {
  QvReporter reporter(QvReporter::kPeriodMs);
  reporter.setSaltForTesting("wrongsalt");
  reporter.init(L"35036", L"id", L"en");
  reporter.report(L"run_downloader");
  reporter.stop();
  const auto posts = postsTo("/collection/biz/upload", 1);
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_FALSE(posts[0].accepted);
  EXPECT_NE(posts[0].reason.find("signature"), std::string::npos) << posts[0].reason;
}

TEST_F(TelemetryAgainstServices, AFailedPostDropsItsBatchForGood) {
  services_.setFault("/collection/biz/upload", {.status = 503, .times = 1});
  QvReporter reporter(50);
  reporter.init(L"35036", L"id", L"en");
  reporter.report(L"download_fail");
  ASSERT_EQ(postsTo("/collection/biz/upload", 1).size(), 1u);  // answered 503: lost
  reporter.report(L"download_success");
  const auto posts = postsTo("/collection/biz/upload", 2);
  reporter.stop();
  ASSERT_GE(posts.size(), 2u);
  // The next batch holds only the new event.
  rapidjson::Document batch;
  ASSERT_FALSE(batch.Parse(posts[1].body.c_str()).HasParseError());
  ASSERT_EQ(batch.Size(), 1u);
  EXPECT_STREQ(batch[0]["eventKey"].GetString(), "download_success");
  EXPECT_EQ(services_.posts().size(), 2u);
}

TEST_F(TelemetryAgainstServices, AnalyticsCredentialsChosenByLanguage) {
  struct Case {
    const wchar_t* language;
    const wchar_t* credentialsOf;
  };
  for (const Case& c : {Case{L"tw", L"cn"}, Case{L"en", L"default"}, Case{L"kr", L"kr"}}) {
    services_.clearRecords();
    deployment::AnalyticsCredentials credentials = values_.analyticsDefault;
    for (const auto& [codes, pair] : values_.analyticsByLanguage) {
      if (std::find(codes.begin(), codes.end(), std::wstring(c.credentialsOf)) != codes.end()) credentials = pair;
    }
    // The run's pair comes from the variant configuration, chosen by the language.
    ConfigImp::instance().language = c.language;
    AnalyticsClient client;
    client.setClientId(L"2-0123456789abcdef0123456789abcdef");
    client.setCredentials(ConfigImp::instance().measurementId(), ConfigImp::instance().apiSecret());
    client.postEventNow(L"download_run", L"12345");
    const auto posts = postsTo("/mp/collect", 1);
    ASSERT_EQ(posts.size(), 1u) << utility::wideToUtf8(c.language);
    EXPECT_TRUE(posts[0].accepted) << posts[0].reason;
    EXPECT_NE(posts[0].target.find("measurement_id=" + utility::wideToUtf8(credentials.measurementId)),
              std::string::npos);
    EXPECT_EQ(posts[0].body,
              "{\"client_id\":\"2-0123456789abcdef0123456789abcdef\",\"events\":[{\"name\":\"download_run\","
              "\"params\":{\"event_category\":\"2.2\",\"event_label\":\"12345\"}}]}");
  }
  ConfigImp::instance().language = L"en";
  // A pair the deployment does not have is refused.
  services_.clearRecords();
  AnalyticsClient stranger;
  stranger.setClientId(L"id");
  stranger.setCredentials(L"G-AAAAAAAAAA", L"aaaaaaaaaaaaaaaaaaaaaa");
  stranger.postEventNow(L"download_run", L"1");
  const auto posts = postsTo("/mp/collect", 1);
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_FALSE(posts[0].accepted);
}

}  // namespace
