// The whole executable against the stand-in services: what a run reports.
#include <algorithm>
#include <fstream>

#include "tests/app/installer_against_services.h"

namespace {

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

// The development switch that does the whole job with no window: the download of the stand-in
// emulator served as the full installer, its silent installation, the personalised data folder
// and the emulator's start, then the end of the run with its result.
class HeadlessJob : public InstallerAgainstServices {
 protected:
  HeadlessJob() : InstallerAgainstServices(servedEmulator()) {}
  static standin::Options servedEmulator() {
    standin::Options options;
    options.installerFile = STANDIN_EMULATOR;
    options.installerSize = 2u << 20;  // past the 1 MiB a download must reach
    return options;
  }
};

TEST_F(HeadlessJob, DownloadsInstallsPersonalisesAndStartsTheEmulatorThenEnds) {
  fs::create_directories(world_ / "home/Desktop");
  extraEnv_.push_back("TARNWICK_AUTOMATION=headless");
  extraEnv_.push_back("TARNWICK_STANDIN_RECORD=" + (world_ / "standin-record.jsonl").string());

  const pid_t run = start("Tarnwick9_en_35036_x.exe", {});
  ASSERT_EQ(wait(run, std::chrono::seconds(120)), 0) << log();

  const fs::path folder = world_ / "home/Tarnwick/Tarnwick9";
  EXPECT_TRUE(fs::is_regular_file(folder / "corvide.exe"));
  EXPECT_TRUE(fs::is_regular_file(folder / "data/data.ini"));
  EXPECT_FALSE(fs::is_empty(world_ / "home/Desktop")) << "no launcher on the desktop";
  // The emulator is started detached: its record may come after the installer has ended.
  std::vector<std::string> roles = recordedRoles();
  for (int i = 0; i < 1500 && roles.size() < 2; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    roles = recordedRoles();
  }
  EXPECT_EQ(roles, (std::vector<std::string>{"installer", "emulator"}));
  const std::vector<std::string> events = collectionEvents();
  for (const char* key : {"run_downloader", "download_success", "install_success"}) {
    EXPECT_NE(std::find(events.begin(), events.end(), key), events.end()) << key;
  }
  for (const auto& post : services_.posts()) EXPECT_TRUE(post.accepted) << post.path << ": " << post.reason;
}

// No drive can hold the emulator (drive C:, the home folder, is not there), so the proposed
// folder is a relative one: the job ends as the window's install button refuses, before
// anything is fetched, and no installation lands relative to the working folder.
TEST_F(HeadlessJob, WithoutAUsableDriveNothingIsDownloadedAndTheJobFails) {
  fs::create_directories(world_ / "home/Desktop");
  extraEnv_.push_back("TARNWICK_AUTOMATION=headless");
  extraEnv_.push_back("TARNWICK_DRIVES=C=" + (world_ / "no-such-drive").string());
  extraEnv_.push_back("TARNWICK_STANDIN_RECORD=" + (world_ / "standin-record.jsonl").string());

  const pid_t run = start("Tarnwick9_en_35036_x.exe", {});
  ASSERT_EQ(wait(run, std::chrono::seconds(120)), 1) << log();
  EXPECT_NE(log().find("installation folder refused (no such drive): Tarnwick\\Tarnwick9\\"), std::string::npos)
      << log();
  EXPECT_EQ(log().find("start download player"), std::string::npos) << log();
  EXPECT_EQ(recordedRoles(), std::vector<std::string>{});
  for (const auto& entry : fs::recursive_directory_iterator(world_)) {
    EXPECT_NE(entry.path().filename(), "corvide.exe") << entry.path();
  }
  for (const auto& request : services_.requests()) EXPECT_FALSE(request.path.ends_with(".exe")) << request.path;
}

// Without the switch the run waits for the user (the window's buttons): nothing is downloaded.
TEST_F(HeadlessJob, WithoutTheSwitchNothingIsDownloaded) {
  const pid_t run = start("Tarnwick9_en_35036_x.exe", {});
  ASSERT_TRUE(waitForLog("DownloadImpl::showMainFrame\t("));
  kill(run, SIGTERM);
  ASSERT_EQ(wait(run), 0);
  EXPECT_FALSE(fs::exists(world_ / "home/Tarnwick/Tarnwick9/Tarnwick.exe"));
  EXPECT_EQ(log().find("start download player"), std::string::npos);
}

}  // namespace
