// The executable's unattended installation (/quiet) against the stand-in services, one run per
// outcome: its exit code, its lines on standard output, what was installed and started, and the
// log copy. No window is needed: the runs have no display. Release builds cannot be pointed at a
// port of the test's own, so there the services listen where the build's deployment expects them.
#include <algorithm>
#include <fstream>
#include <optional>

#include "app/quiet_install.h"
#include "tests/app/installer_against_services.h"

namespace {

using app::QuietExit;

#ifdef QUIET_TEST_DEPLOYMENT_PORT
constexpr int kServicesPort = QUIET_TEST_DEPLOYMENT_PORT;
#else
constexpr int kServicesPort = 0;  // a port of the test's own, named through TARNWICK_SERVICES
#endif

standin::Options servedEmulator() {
  standin::Options options;
  options.installerFile = STANDIN_EMULATOR;
  options.installerSize = 2u << 20;  // past the 1 MiB a download must reach
  return options;
}

class QuietInstall : public InstallerProcess {
 protected:
  QuietInstall() : services_(servedEmulator()) {}

  void SetUp() override {
    InstallerProcess::SetUp();
    if (kServicesPort == 0) {
      ASSERT_GT(services_.start(), 0);
      extraEnv_.push_back("TARNWICK_SERVICES=127.0.0.1:" + std::to_string(services_.port()));
    } else {
      // The deployment's port may be held a while by another program on this machine.
      bool listening = false;
      for (int attempt = 0; attempt < 600 && !listening; ++attempt) {
        listening = services_.start("127.0.0.1", kServicesPort) == kServicesPort;
        if (!listening) std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
      if (!listening) GTEST_SKIP() << "port " << kServicesPort << " stays taken by another program";
    }
    // No display: the unattended installation opens no window.
    extraEnv_.push_back("DISPLAY=");
    extraEnv_.push_back("TARNWICK_STANDIN_RECORD=" + (world_ / "standin-record.jsonl").string());
    stdoutFile_ = world_ / "stdout.txt";
    fs::create_directories(world_ / "home/Desktop");
  }
  void TearDown() override {
    services_.stop();
    InstallerProcess::TearDown();
  }

  std::string read(const fs::path& path) const {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::string output() const { return read(stdoutFile_); }

  // The "role" of every record the stand-in programs wrote, waiting a while for |expected| of
  // them (the emulator is started detached and may record after the installer has ended).
  std::vector<std::string> roles(size_t expected) const {
    std::vector<std::string> found;
    for (int i = 0; i < 500; ++i) {
      found.clear();
      std::ifstream in(world_ / "standin-record.jsonl");
      for (std::string line; std::getline(in, line);) {
        const size_t at = line.find("\"role\":\"");
        if (at != std::string::npos) found.push_back(line.substr(at + 8, line.find('"', at + 8) - at - 8));
      }
      if (found.size() >= expected) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return found;
  }

  standin::Services services_;
};

struct OutcomeCase {
  const char* name;
  std::vector<std::string> args;       // "{app}": the campaign's app argument on the services
  QuietExit exit;
  std::vector<std::string> roles;      // what the stand-in programs recorded
  std::vector<std::string> lines;      // lines standard output must have
  std::optional<standin::Fault> fault{}; // on every full installer's path
  const char* installer = nullptr;     // TARNWICK_STANDIN_INSTALLER
  std::optional<standin::Fault> playerInfoFault{};  // on the player information
  std::optional<uint64_t> fileSizeLimit{};  // for the installer's process: its writes fail past it
  const char* folderAt = nullptr;  // a folder planted at this path under the install folder
};

void PrintTo(const OutcomeCase& c, std::ostream* out) { *out << c.name; }

class QuietOutcome : public QuietInstall, public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(QuietOutcome, EndsWithItsExitCode) {
  const OutcomeCase& c = GetParam();
  if (c.fault) {
    for (const std::string& path : standin::installerPaths()) services_.setFault(path, *c.fault);
  }
  if (c.playerInfoFault) services_.setFault("/player_files/en/morvane", *c.playerInfoFault);
  fileSizeLimit_ = c.fileSizeLimit;
  const fs::path installFolder = world_ / "home/Games/Tarnwick/Tarnwick9";
  if (c.folderAt != nullptr) fs::create_directories(installFolder / c.folderAt);
  if (c.installer != nullptr) extraEnv_.push_back(std::string("TARNWICK_STANDIN_INSTALLER=") + c.installer);
  const std::string logCopy = (world_ / "copy of the log.txt").string();
  std::vector<std::string> args = {"/quiet", "/log=" + logCopy};
  for (const std::string& arg : c.args) {
    args.push_back(arg == "{app}" ? "name=Tarnwick Demo|package=com.tarnwick.demo|apkurl=" + services_.baseUrl() +
                                        "/apps/com.tarnwick.demo.apk"
                                  : arg);
  }
  const pid_t run = start("Tarnwick9_en_35036_x.exe", args);
  ASSERT_EQ(wait(run, std::chrono::seconds(180)), static_cast<int>(c.exit)) << output() << log();

  const std::string out = output();
  for (const std::string& line : c.lines) EXPECT_NE(out.find(line + "\n"), std::string::npos) << line << "\n" << out;
  EXPECT_NE(out.find("(exit code " + std::to_string(static_cast<int>(c.exit)) + ")\n"), std::string::npos) << out;
  EXPECT_EQ(roles(c.roles.size()), c.roles);
  const bool installed = c.exit == QuietExit::kInstalled;
  EXPECT_EQ(fs::is_regular_file(installFolder / "corvide.exe"), installed);
  if (c.exit == QuietExit::kDownloadDiskFull) {
    // Nothing of the download is left to hold the disk full.
    EXPECT_FALSE(fs::exists(installFolder / "Tarnwick.exe.tmp"));
    EXPECT_FALSE(fs::exists(installFolder / "Tarnwick.exe"));
  }
  if (c.folderAt != nullptr) EXPECT_TRUE(fs::is_directory(installFolder / c.folderAt)) << "left as it was";
  if (c.exit != QuietExit::kBadArguments) {
    // The log, copied whole once the run had ended.
    const std::string copy = read(logCopy);
    EXPECT_NE(copy.find("unattended installation"), std::string::npos) << copy;
    EXPECT_NE(copy.find("shutdown finished"), std::string::npos) << copy;
  }
}

const std::vector<std::string> kFolder = {"/dir=C:\\Games"};

std::vector<std::string> with(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, QuietOutcome,
    ::testing::Values(
        OutcomeCase{"installed, the emulator not started", kFolder, QuietExit::kInstalled, {"installer"},
                    {"folder: C:\\Games\\Tarnwick\\Tarnwick9\\", "download 0%", "download 100%", "install 0%",
                     "install 100%", "result: installed (exit code 0)"}},
        // The campaign's app and the switches together; the apps are installed as the window
        // installs them, and the emulator starts with the package.
        OutcomeCase{"installed with the campaign's app and started",
                    with(kFolder, {"{app}", "/launch"}),
                    QuietExit::kInstalled,
                    {"installer", "console", "emulator"},
                    {"apps 0%", "apps: 1 of 1", "apps 100%", "launch 100%"}},
        OutcomeCase{"unknown switch", with(kFolder, {"/silent"}), QuietExit::kBadArguments, {}, {}},
        OutcomeCase{"folder not a full path", {"/dir=Games"}, QuietExit::kBadArguments, {}, {}},
        OutcomeCase{"folder on no drive", {"/dir=Q:\\Games"}, QuietExit::kNoUsableFolder, {},
                    {"folder: cannot be used (no such drive)"}},
        OutcomeCase{"download refused by the server", kFolder, QuietExit::kDownloadRefused, {},
                    {"result: the download failed (exit code 12)"}, standin::Fault{.status = 500}},
        // A reply the server calls whole that is no installer: neither stack knows what went wrong.
        OutcomeCase{"download too small to be an installer", kFolder, QuietExit::kDownloadFailed, {},
                    {"result: the download failed (exit code 10)"},
                    standin::Fault{.replaceBody = true, .body = "<html><body>Please try again later</body></html>"}},
        // A limit on file sizes fails the writes as a full disk does.
        OutcomeCase{"download fills the disk", kFolder, QuietExit::kDownloadDiskFull, {},
                    {"result: the download failed (exit code 13)"}, std::nullopt, nullptr, std::nullopt,
                    uint64_t{512} << 10},
        // The download's file cannot be created where a folder holds its name; the install folder
        // passes its checks.
        OutcomeCase{"download file cannot be created", kFolder, QuietExit::kDownloadFolderNotWritable, {},
                    {"result: the download failed (exit code 14)"}, std::nullopt, nullptr, std::nullopt,
                    std::nullopt, "Tarnwick.exe.tmp"},
        OutcomeCase{"download cut off every time", kFolder, QuietExit::kDownloadNoConnection, {},
                    {"result: the download failed (exit code 11)"}, standin::Fault{.dropAfterBytes = 65536}},
        OutcomeCase{"the installer is not the one announced", kFolder, QuietExit::kIntegrityCheckFailed, {},
                    {"result: the downloaded installer is not the one announced (exit code 20)"}, std::nullopt,
                    nullptr, standin::Fault{.wrongHash = true}},
        OutcomeCase{"the installer fails", kFolder, QuietExit::kInstallationFailed, {"installer"},
                    {"install 0%", "result: the installation failed (exit code 30)"}, std::nullopt, "fail"}),
    [](const ::testing::TestParamInfo<OutcomeCase>& info) {
      std::string name = info.param.name;
      std::replace_if(name.begin(), name.end(), [](char ch) { return !std::isalnum(static_cast<unsigned char>(ch)); }, '_');
      return name;
    });

// A running installer (its window) holds the instance: the unattended one ends at once.
TEST_F(QuietInstall, AnotherInstanceRunning) {
  extraEnv_.push_back("DISPLAY=" + x_.display());
  const pid_t first = start("Tarnwick9_en_35036_x.exe", {});
  ASSERT_TRUE(waitForLog("wnd not exist"));
  extraEnv_.push_back("DISPLAY=");
  const pid_t second = start("Tarnwick9_en_35036_x.exe", {"/quiet", "/dir=C:\\Games"});
  EXPECT_EQ(wait(second), static_cast<int>(QuietExit::kAnotherInstance)) << output();
  EXPECT_NE(output().find("result: another instance of the installer is running (exit code 3)\n"), std::string::npos)
      << output();
  kill(first, SIGTERM);
  EXPECT_EQ(wait(first), 0);
}

// SIGTERM during the download: the run ends cancelled, with nothing installed.
TEST_F(QuietInstall, CancelledBySignal) {
  for (const std::string& path : standin::installerPaths()) services_.setFault(path, standin::Fault{.bytesPerSecond = 16384});
  const pid_t run = start("Tarnwick9_en_35036_x.exe", {"/quiet", "/dir=C:\\Games"});
  for (int i = 0; i < 3000 && output().find("download 0% (") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_NE(output().find("download 0% ("), std::string::npos) << output();
  kill(run, SIGTERM);
  EXPECT_EQ(wait(run), static_cast<int>(QuietExit::kCancelled)) << output();
  EXPECT_NE(output().find("result: cancelled (exit code 40)\n"), std::string::npos) << output();
  EXPECT_FALSE(fs::exists(world_ / "home/Games/Tarnwick/Tarnwick9/corvide.exe"));
}

}  // namespace
