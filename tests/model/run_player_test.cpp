// The emulator's launch: the stand-in emulator, placed as "corvide.exe" in the installation
// folder, records the parameters and the user it was started with.
#include <gtest/gtest.h>

#include <rapidjson/document.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "model/downloader_model.h"
#include "model/package_name.h"
#include "tests/net/net_test_support.h"
#include "tests/standin/emulator_test_linux.h"
#include "tests/support/temp_folder.h"
#include "utility/base/strings.h"
#include "utility/system/dev_overrides.h"
#include "utility/system/drive_table.h"

namespace fs = std::filesystem;

// Reaches the model's launch with a chosen installation folder and campaign package.
class DownloaderModelTest {
 public:
  static void runPlayerWithPackage(const std::wstring& installPath, const std::wstring& package) {
    auto* model = new DownloaderModel();
    model->installPath_ = installPath;
    model->package_ = package;
    model->runPlayerWithPackage();
    delete model;
  }
  static void runPlayer(const std::wstring& installPath, const std::wstring& parameters) {
    auto* model = new DownloaderModel();
    model->installPath_ = installPath;
    model->runPlayer(parameters);
    delete model;
  }
};

namespace {

struct Launch {
  std::vector<std::string> args;
  unsigned uid = 0;
};

class RunPlayer : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_.emplace("run-player");
    home_ = folder_->path() / "home";
    record_ = folder_->path() / "record.jsonl";
    fs::create_directories(home_ / "Tarnwick" / "Tarnwick9");
    utility::setDriveTableForTesting({{L'C', home_.string(), {}, {}}});
    setenv("TARNWICK_STANDIN_RECORD", record_.c_str(), 1);
    unsetenv("TARNWICK_STANDIN_EMULATOR");
    unsetenv("TARNWICK_FAKE_OS");
    placeEmulator("Tarnwick/Tarnwick9");
  }
  void TearDown() override {
    unsetenv("TARNWICK_FAKE_OS");
    unsetenv("TARNWICK_STANDIN_RECORD");
    utility::setDriveTableForTesting({});
    folder_.reset();
  }

  void placeEmulator(const fs::path& folder) {
    fs::create_directories(home_ / folder);
    fs::copy_file(STANDIN_EMULATOR, home_ / folder / "corvide.exe", fs::copy_options::overwrite_existing);
  }

  // The launches recorded so far, once |count| of them are there (the started emulator runs on
  // its own; a generous limit turns a missing launch into a failed count, not a hang).
  std::vector<Launch> launches(size_t count) const {
    std::vector<Launch> result;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    do {
      result.clear();
      std::ifstream in(record_);
      for (std::string line; std::getline(in, line);) {
        rapidjson::Document doc;
        doc.Parse(line.c_str());
        if (doc.HasParseError() || std::string(doc["role"].GetString()) != "emulator") continue;
        Launch launch;
        for (const auto& a : doc["args"].GetArray()) launch.args.emplace_back(a.GetString());
        launch.uid = doc["uid"].GetUint();
        result.push_back(std::move(launch));
      }
      if (result.size() >= count) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < end);
    return result;
  }

  // The runPlayer and shell records, in order.
  std::vector<std::wstring> launchLog() const {
    std::vector<std::wstring> texts;
    for (const auto& r : log_.records()) {
      if (r.function == "DownloaderModel::runPlayer" || r.function == "utility::process::shell") {
        texts.push_back(r.text);
      }
    }
    return texts;
  }

  // The same records as one text, for failure messages.
  std::string launchLogText() const {
    std::string text;
    for (const std::wstring& line : launchLog()) text += utility::wideToUtf8(line) + "\n";
    return text;
  }

  static bool runsAsRoot() { return standintest::currentUserId() == 0; }

  std::optional<testsupport::TempFolder> folder_;
  fs::path home_;
  fs::path record_;
  nettest::LogCapture log_;
};

TEST(AndroidPackageName, Table) {
  struct Case {
    const wchar_t* name;
    bool valid;
  };
  const Case cases[] = {
      {L"com.example.game", true},  {L"a.b", true},        {L"Com.Ex_1.g2_", true},
      {L"game", false},             {L"", false},           {L".com.game", false},
      {L"com.game.", false},        {L"com..game", false},  {L"1com.game", false},
      {L"com._game", false},        {L"com.9game", false},  {L"com.ga me", false},
      {L"com.game|apkurl=x", false}, {L"com.game\"", false}, {L"com.ga-me", false},
      {L"com.gäme", false},         {L"com.game\n", false}, {L"com.game=x", false},
  };
  for (const Case& c : cases) EXPECT_EQ(isAndroidPackageName(c.name), c.valid) << utility::wideToUtf8(c.name);
}

// The campaign package as launch parameters; anything that is not a package name stays off the
// command line. Folders with and without a trailing backslash name the same program (the
// doubled backslash of "<folder>\\corvide.exe" resolves to the same file).
TEST_F(RunPlayer, ParametersByPackage) {
  struct Case {
    const wchar_t* installPath;
    const wchar_t* package;
    std::vector<std::string> args;
    bool refused;  // the package was refused
  };
  const Case cases[] = {
      {L"C:\\Tarnwick\\Tarnwick9\\", L"com.example.game",
       {"downloadpackage=com.example.game|package=com.example.game"}, false},
      {L"C:\\Tarnwick\\Tarnwick9", L"com.example.game",
       {"downloadpackage=com.example.game|package=com.example.game"}, false},
      {L"C:\\Tarnwick\\Tarnwick9\\", L"", {}, false},
      {L"C:\\Tarnwick\\Tarnwick9\\", L"com.game|apkurl=http://x/evil.apk", {}, true},
      {L"C:\\Tarnwick\\Tarnwick9\\", L"com.game\" --evil \"x", {}, true},
      {L"C:\\Tarnwick\\Tarnwick9\\", L"com.game x", {}, true},
      {L"C:\\Tarnwick\\Tarnwick9\\", L"singleword", {}, true},
  };
  const unsigned uid = standintest::currentUserId();
  size_t count = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(utility::wideToUtf8(c.package));
    log_.clear();
    DownloaderModelTest::runPlayerWithPackage(c.installPath, c.package);
    const std::vector<Launch> all = launches(++count);
    ASSERT_EQ(all.size(), count) << launchLogText();
    EXPECT_EQ(all.back().args, c.args);
    EXPECT_EQ(all.back().uid, uid);

    const std::wstring program = std::wstring(c.installPath) + L"\\corvide.exe";
    std::wstring parameters;
    for (const std::string& a : c.args) parameters += utility::utf8ToWide(a);
    std::vector<std::wstring> expected;
    // Run as root, no desktop user is known: nothing un-elevated can be started (status 2)
    // and the shell start follows.
    expected.push_back(L"runPlayer no amdin");
    if (runsAsRoot()) {
      expected.push_back(L"runPlayer no amdin error 2");
      expected.push_back(L"shell filename = [" + program + L"], param = [" + parameters + L"], runas = 1, show = 0");
      expected.push_back(L"shellEx ret . lastError = 0");
    }
    EXPECT_EQ(launchLog(), expected);
    EXPECT_EQ(log_.contains(L"package is not an Android package name, launch without it"), c.refused);
  }
}

// A command line past 1023 characters is not started directly; the shell start, which has no
// such limit, still starts the emulator. A missing program fails both ways, and says so.
TEST_F(RunPlayer, ShellStartWhenTheDirectStartFails) {
  // Five folders of 200 characters: a real path on this host, too long for the command line.
  std::wstring deep = L"C:";
  fs::path hostDeep;
  for (int i = 0; i < 5; ++i) {
    const std::string part = std::string(199, 'd') + std::to_string(i);
    deep += L"\\" + utility::utf8ToWide(part);
    hostDeep /= part;
  }
  placeEmulator(hostDeep);
  DownloaderModelTest::runPlayer(deep, L"downloadpackage=a.b|package=a.b");
  const std::vector<Launch> all = launches(1);
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].args, std::vector<std::string>{"downloadpackage=a.b|package=a.b"});
  std::vector<std::wstring> log = launchLog();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[0], L"runPlayer no amdin");
  EXPECT_EQ(log[1], L"runPlayer no amdin error " + std::to_wstring(E2BIG));
  EXPECT_EQ(log[2], L"shell filename = [" + deep + L"\\corvide.exe], param = [downloadpackage=a.b|package=a.b], runas = 1, show = 0");
  EXPECT_EQ(log[3], L"shellEx ret . lastError = 0");

  log_.clear();
  DownloaderModelTest::runPlayer(L"C:\\Nowhere\\", L"");
  const int expectedError = ENOENT;  // no program (as root: no un-elevated identity, also 2)
  log = launchLog();
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(log[1], L"runPlayer no amdin error " + std::to_wstring(expectedError));
  EXPECT_EQ(log[4], L"shellEx failed!!! lastError = " + std::to_wstring(ENOENT));
}

// Systems older than 6.2 start the emulator through the shell and say nothing of the token; the
// version is compared as a pair, so 10.0 is not taken for an old system.
TEST_F(RunPlayer, OlderSystemsUseTheShellStart) {
  if (!utility::devOverridesEnabled()) GTEST_SKIP() << "release build: no fake OS facts";
  struct Case {
    const char* fake;
    bool token;
  };
  const Case cases[] = {{"xp", false}, {"win7", false}, {"", true}};
  size_t count = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fake);
    setenv("TARNWICK_FAKE_OS", c.fake, 1);
    log_.clear();
    DownloaderModelTest::runPlayerWithPackage(L"C:\\Tarnwick\\Tarnwick9\\", L"com.example.game");
    ASSERT_EQ(launches(++count).size(), count);
    const std::vector<std::wstring> log = launchLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0] == L"runPlayer no amdin", c.token);
    if (!c.token) {
      EXPECT_EQ(log[0], L"shell filename = [C:\\Tarnwick\\Tarnwick9\\\\corvide.exe], "
                        L"param = [downloadpackage=com.example.game|package=com.example.game], runas = 1, show = 0");
      EXPECT_EQ(log.size(), 2u);
    }
  }
}

}  // namespace
