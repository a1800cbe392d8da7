// The whole executable against the stand-in services: what a run reports.
#include <rapidjson/document.h>

#include "standin/services/services.h"
#include "tests/app/installer_process.h"

namespace {

class InstallerAgainstServices : public InstallerProcess {
 protected:
  void SetUp() override {
    InstallerProcess::SetUp();
    ASSERT_GT(services_.start(), 0);
    extraEnv_.push_back("TARNWICK_SERVICES=127.0.0.1:" + std::to_string(services_.port()));
  }
  void TearDown() override {
    services_.stop();
    InstallerProcess::TearDown();
  }

  // Event keys of accepted collection batches and names of accepted analytics events.
  std::vector<std::string> collectionEvents() {
    std::vector<std::string> keys;
    for (const auto& post : services_.posts()) {
      if (post.path != "/collection/biz/upload" || !post.accepted) continue;
      rapidjson::Document batch;
      if (batch.Parse(post.body.c_str()).HasParseError() || !batch.IsArray()) continue;
      for (const auto& event : batch.GetArray()) keys.push_back(event["eventKey"].GetString());
    }
    return keys;
  }
  std::vector<std::string> analyticsEvents() {
    std::vector<std::string> names;
    for (const auto& post : services_.posts()) {
      if (post.path != "/mp/collect" || !post.accepted) continue;
      rapidjson::Document body;
      if (body.Parse(post.body.c_str()).HasParseError()) continue;
      names.push_back(std::string(body["events"][0]["name"].GetString()) + ":" +
                      body["events"][0]["params"]["event_label"].GetString());
    }
    return names;
  }

  standin::Services services_;
};

TEST_F(InstallerAgainstServices, OneRunReportsItsStartOnceAndASecondInstanceNothing) {
  const pid_t first = start("Tarnwick9_en_35036_x.exe", {});
  ASSERT_TRUE(waitForLog("DownloadImpl::showMainFrame\t("));
  ASSERT_TRUE(handOverTo("Tarnwick9_en_35036_x.exe"));
  // The analytics event leaves at once; wait for it before ending the run.
  for (int i = 0; i < 3000 && analyticsEvents().empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  kill(first, SIGTERM);
  ASSERT_EQ(wait(first), 0);  // the orderly end sends the queued collection event
  EXPECT_EQ(collectionEvents(), std::vector<std::string>{"run_downloader"});
  EXPECT_EQ(analyticsEvents(), std::vector<std::string>{"download_run:35036"});
  for (const auto& post : services_.posts()) EXPECT_TRUE(post.accepted) << post.path << ": " << post.reason;
}

}  // namespace
