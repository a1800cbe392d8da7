// The whole job through the real window on an X server of the test's own, the development
// automation pressing the buttons as a user would: what was installed, written, launched and
// reported, and what the log says went wrong.
#include <algorithm>
#include <fstream>
#include <optional>
#include <regex>

#include "tests/app/installer_against_services.h"

namespace {

struct JobCase {
  const char* name;
  const char* automation;                  // TARNWICK_AUTOMATION
  const char* folder;                      // typed into the folder edit; null: the default
  std::optional<standin::Fault> fault;     // on every full installer's path
  const char* installDir;                  // where the emulator lands; null: not installed
  bool emulatorStarts;                     // installed and started from the finish page
  std::vector<std::string> collection;     // collection events that must be there
  std::vector<std::string> notCollected;   // and those that must not
  std::vector<std::string> expectedTrouble;  // log lines with "error"/"fail" this run expects
  std::vector<std::string> screens;        // screenshots the run must have written
  std::vector<std::string> analytics{"download_run:35036"};  // analytics events, "name:label", in order
  const char* campaign = "Tarnwick9_en_35036_x.exe";  // the installer's file name
  std::vector<std::string> roles{"installer", "emulator"};  // what the stand-in programs recorded
  const char* shortcut = "Tarnwick Games";  // the campaign's launcher on the desktop; null: none
  const char* app = nullptr;  // a campaign app's package on the stand-in services, given on the command line
};

void PrintTo(const JobCase& c, std::ostream* out) { *out << c.name; }

class WindowJob : public InstallerAgainstServices, public ::testing::WithParamInterface<JobCase> {
 protected:
  WindowJob() : InstallerAgainstServices(servedEmulator()) {}
  static standin::Options servedEmulator() {
    standin::Options options;
    options.installerFile = STANDIN_EMULATOR;
    options.installerSize = 8u << 20;
    return options;
  }

  std::string file(const fs::path& path) const {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // Log lines that speak of an error or a failure and are not among |expected|.
  std::vector<std::string> unexpectedTrouble(const std::vector<std::string>& expected) const {
    static const std::regex trouble("error|fail|errr", std::regex::icase);
    std::vector<std::string> found;
    std::istringstream lines(log());
    for (std::string line; std::getline(lines, line);) {
      if (!std::regex_search(line, trouble) || line.find("lastError = 0") != std::string::npos) continue;
      if (line.find("development automation") != std::string::npos) continue;  // the tester's own words
      if (std::none_of(expected.begin(), expected.end(), [&](const std::string& e) { return line.find(e) != std::string::npos; })) {
        found.push_back(line);
      }
    }
    return found;
  }
};

// "C:\a\b\" in the world: C: is the home folder.
fs::path hostFolder(const fs::path& home, std::string drivePath) {
  std::replace(drivePath.begin(), drivePath.end(), '\\', '/');
  return home / drivePath.substr(3);
}

TEST_P(WindowJob, RunsAsTheUserSeesIt) {
  const JobCase& c = GetParam();
  fs::create_directories(world_ / "home/Desktop");
  extraEnv_.push_back(std::string("TARNWICK_AUTOMATION=") + c.automation);
  extraEnv_.push_back("TARNWICK_STANDIN_RECORD=" + (world_ / "standin-record.jsonl").string());
  extraEnv_.push_back("TARNWICK_SCREENS=" + (world_ / "screens").string());
  if (c.folder != nullptr) extraEnv_.push_back(std::string("TARNWICK_AUTOMATION_FOLDER=") + c.folder);
  if (c.fault) {
    for (const std::string& path : standin::installerPaths()) services_.setFault(path, *c.fault);
  }

  std::vector<std::string> args;
  if (c.app != nullptr) {
    args.push_back("name=Tarnwick Demo|package=com.tarnwick.demo|apkurl=" + services_.baseUrl() + c.app);
  }
  const pid_t run = start(c.campaign, args);
  ASSERT_EQ(wait(run, std::chrono::seconds(120)), 0) << log();

  if (c.installDir != nullptr && c.emulatorStarts) {
    const fs::path folder = hostFolder(world_ / "home", c.installDir);
    EXPECT_TRUE(fs::is_regular_file(folder / "corvide.exe")) << folder;
    if (c.shortcut != nullptr) {
      // The campaign's settings: the emulator's title and the launcher.
      EXPECT_NE(file(folder / "data/data.ini").find("title=Tarnwick"), std::string::npos) << file(folder / "data/data.ini");
      const std::string launcher = file(world_ / "home/Desktop" / (std::string(c.shortcut) + ".desktop"));
      EXPECT_NE(launcher.find("Exec=" + (folder / "corvide.exe").string()), std::string::npos) << launcher;
    } else {
      // An app on the command line stands for the campaign's document: no launcher.
      EXPECT_TRUE(fs::is_empty(world_ / "home/Desktop"));
    }
    const std::string key = file(world_ / "home/.config/tarnwick/registry/software%5cpellfor%5ctarnwick9.key");
    EXPECT_NE(key.find(std::string("sz\tInstallDir\t") + c.installDir), std::string::npos) << key;
    // The emulator is started detached: its record may come after the installer has ended.
    std::vector<std::string> roles = recordedRoles();
    for (int i = 0; i < 1500 && roles.size() < c.roles.size(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      roles = recordedRoles();
    }
    EXPECT_EQ(roles, c.roles);
    if (c.app != nullptr) {
      // The package went to the console tool from the installation folder; the emulator got it.
      const std::string record = file(world_ / "standin-record.jsonl");
      EXPECT_NE(record.find("\"command\":\"installapk\""), std::string::npos) << record;
      EXPECT_NE(record.find("Tarnwick Demo.apk"), std::string::npos) << record;
      EXPECT_NE(record.find("\"args\":[\"package=com.tarnwick.demo\"]"), std::string::npos) << record;
      EXPECT_TRUE(fs::is_regular_file(folder / "Tarnwick Demo.apk"));
    }
  } else if (c.installDir != nullptr) {
    EXPECT_EQ(recordedRoles(), std::vector<std::string>{"installer"}) << "the installer ran, the emulator may not";
  } else {
    EXPECT_EQ(recordedRoles(), std::vector<std::string>{}) << "no installer may run";
    EXPECT_FALSE(fs::exists(world_ / "home/Tarnwick/Tarnwick9/corvide.exe"));
  }
  const std::vector<std::string> events = collectionEvents();
  for (const std::string& key : c.collection) {
    EXPECT_NE(std::find(events.begin(), events.end(), key), events.end()) << key;
  }
  for (const std::string& key : c.notCollected) {
    EXPECT_EQ(std::find(events.begin(), events.end(), key), events.end()) << key;
  }
  EXPECT_EQ(analyticsEvents(), c.analytics);
  for (const auto& post : services_.posts()) EXPECT_TRUE(post.accepted) << post.path << ": " << post.reason;
  EXPECT_EQ(unexpectedTrouble(c.expectedTrouble), std::vector<std::string>{});
  for (const std::string& screen : c.screens) {
    bool written = false;
    for (const auto& entry : fs::directory_iterator(world_ / "screens")) {
      written = written || entry.path().filename().string().ends_with("-" + screen + ".png");
    }
    EXPECT_TRUE(written) << screen << "\n" << log();
  }
}

standin::Fault failing(int status, int times = -1) {
  standin::Fault fault;
  fault.status = status;
  fault.times = times;
  return fault;
}

standin::Fault stalling() {
  standin::Fault fault;
  fault.stallAfterBytes = 1 << 20;
  return fault;
}

standin::Fault notAProgram() {
  standin::Fault fault;
  fault.replaceBody = true;
  fault.body = std::string(2u << 20, 'x');
  return fault;
}

const std::string kNoAdmin = "runPlayer no amdin error 2";  // the launch without the elevated token

INSTANTIATE_TEST_SUITE_P(
    Journeys, WindowJob,
    ::testing::Values(
        JobCase{"defaultFolder", "install", nullptr, std::nullopt, "C:\\Tarnwick\\Tarnwick9\\", true,
                {"run_downloader", "start_downloader", "download_success", "install_success"},
                {"cancel_download"}, {kNoAdmin}, {"choose", "finish"}},
        JobCase{"typedFolder", "install", "C:\\Games", std::nullopt, "C:\\Games\\Tarnwick\\Tarnwick9\\", true,
                {"download_success", "install_success"}, {}, {kNoAdmin}, {"choose-folder", "finish"}},
        JobCase{"libcurlAfterThePlatformStackFails", "install", nullptr, failing(503, 2), "C:\\Tarnwick\\Tarnwick9\\", true,
                {"download_success", "install_success"}, {}, {kNoAdmin, "download file error"}, {"finish"}},
        // After the error box the window is back at the install button; the user leaves by the
        // exit box (no download runs any more).
        JobCase{"everyDownloadFails", "install", nullptr, failing(500), nullptr, false,
                {"run_downloader"}, {"download_success", "cancel_download"},
                {"download file error", "download error HTTP response code said error",
                 "curl download file error HTTP response code said error"},
                {"download-error", "exit"}, {"download_run:35036", "userCancel:35036"}},
        JobCase{"cancelDuringTheDownload", "cancel", nullptr, stalling(), nullptr, false,
                {"run_downloader", "cancel_download"}, {"download_success"},
                {"read failed: Operation was cancelled", "download file error"}, {"slow-download"}},
        // What arrives is no program: the installation cannot start, the finish page offers the
        // home page and the user closes the window.
        JobCase{"installerCannotStart", "install", nullptr, notAProgram(), nullptr, false,
                {"download_success", "install_fail"}, {"install_success", "cancel_download"},
                {"createProcess"}, {"finish"}},
        // The close button before the download: the exit box, and the user leaves.
        JobCase{"leaveBeforeTheDownload", "leave", nullptr, std::nullopt, nullptr, false, {"run_downloader"},
                {"start_downloader", "cancel_download"}, {}, {"choose", "exit"},
                {"download_run:35036", "userCancel:35036"}},
        // A campaign app on the command line: after the installation the window downloads the
        // package, installs it with the console tool and starts the emulator with it.
        JobCase{"campaignApp", "install", nullptr, std::nullopt, "C:\\Tarnwick\\Tarnwick9\\", true,
                {"download_success", "install_success"}, {"cancel_download"}, {kNoAdmin}, {"choose", "apps"},
                {"download_run:35036"}, "Tarnwick9_en_35036_x.exe", {"installer", "console", "emulator"}, nullptr,
                "/apps/com.tarnwick.demo.apk"}),
    [](const ::testing::TestParamInfo<JobCase>& param) { return std::string(param.param.name); });

}  // namespace
