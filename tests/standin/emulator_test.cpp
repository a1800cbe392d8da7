// The stand-in emulator program, run under its different names through the real process start,
// in a world of its own (its folders, record file and registry keys).
#include <gtest/gtest.h>

#include <rapidjson/document.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/standin/emulator_test_platform.h"
#include "tests/support/temp_folder.h"
#include "utility/base/strings.h"
#include "utility/system/process.h"
#include "utility/system/registry.h"

namespace {

namespace fs = std::filesystem;
using utility::process::ProcessHandle;

struct Outcome {
  bool started = false;
  int exitCode = -1;
};

class StandinEmulatorTest : public ::testing::Test {
 protected:
  StandinEmulatorTest() : world_("standin-emulator") {
    home_ = world_.path() / "home";
    bin_ = world_.path() / "bin";
    record_ = world_.path() / "record.jsonl";
    fs::create_directories(home_);
    fs::create_directories(bin_);
    fs::create_directories(world_.path() / "config");
    root_ = standintest::enterWorld(home_, world_.path() / "config");
    standintest::forgetRegistryKeys(kKeys);
    const std::u8string record = record_.u8string();
    standintest::setEnvironment("TARNWICK_STANDIN_RECORD", reinterpret_cast<const char*>(record.c_str()));
    for (const char* name : {"TARNWICK_STANDIN_INSTALLER", "TARNWICK_STANDIN_EMULATOR", "TARNWICK_STANDIN_GENERATION"}) {
      standintest::setEnvironment(name, nullptr);
    }
  }

  ~StandinEmulatorTest() override {
    for (unsigned pid : leftRunning_) standintest::killProcess(pid);
    standintest::forgetRegistryKeys(kKeys);
  }

  // The keys the installer cases write.
  static inline const std::vector<std::wstring> kKeys = {
      L"Software\\Pellfor\\Tarnwick9", L"Software\\Dornvale2\\corvide", L"Software\\Pellfor\\Tarnwick64"};

  // A text with its "C:\\" paths moved into the world (unchanged here, where C: is the world).
  std::wstring inWorld(std::wstring text) const {
    for (size_t at = text.find(L"C:\\"); at != std::wstring::npos; at = text.find(L"C:\\", at + root_.size())) {
      text.replace(at, 2, root_);
    }
    return text;
  }
  std::string inWorld(const std::string& text) const {
    return utility::wideToUtf8(inWorld(utility::utf8ToWide(text)));
  }

  // The program copied into the world under |name|.
  fs::path place(const std::string& name) {
    const fs::path target = bin_ / name;
    fs::copy_file(STANDIN_EMULATOR, target, fs::copy_options::overwrite_existing);
    return target;
  }

  static Outcome runToEnd(const fs::path& program, const std::wstring& parameters) {
    Outcome run;
    ProcessHandle handle = utility::process::create(utility::utf8ToWide(program.string()), parameters, false);
    run.started = static_cast<bool>(handle);
    int error = 0;
    if (run.started && handle.wait(60000, run.exitCode, error) != ProcessHandle::Wait::ended) run.exitCode = -2;
    return run;
  }

  std::vector<rapidjson::Document> records() const {
    std::vector<rapidjson::Document> result;
    std::ifstream in(record_);
    for (std::string line; std::getline(in, line);) {
      result.emplace_back();
      result.back().Parse(line.c_str());
      EXPECT_FALSE(result.back().HasParseError()) << line;
    }
    return result;
  }

  // Waits until the record file holds |count| records.
  bool waitForRecords(size_t count) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (records().size() < count) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }

  static std::string text(const rapidjson::Value& record, const char* key) {
    auto it = record.FindMember(key);
    return it != record.MemberEnd() && it->value.IsString() ? it->value.GetString() : std::string("<none>");
  }

  static std::wstring installDir(const std::wstring& key) {
    utility::registry::Key reg;
    std::wstring value;
    if (!reg.open(key) || !reg.queryString(L"InstallDir", value)) return L"<none>";
    return value;
  }

  testsupport::TempFolder world_;
  fs::path home_, bin_, record_;
  std::wstring root_;
  std::vector<unsigned> leftRunning_;
};

TEST_F(StandinEmulatorTest, InstallerLaysOutTheEmulatorAndRegistersItsFolder) {
  struct Case {
    const char* image;
    const char* generation;  // nullptr: the default
    std::wstring parameters;
    std::string path;     // as the installer must read it
    std::string hostDir;  // below home
    std::wstring key;
    const char* language;
    const char* googleId;
  };
  const Case cases[] = {
      // The quoted folder ends in a backslash: the argument arrives without it, with the
      // closing quote and with the google id glued on; the folder is read as the same folder.
      {"Tarnwick.exe", nullptr,
       L"-silence -downloader -openid=op1 -language=en -path=\"C:\\Tarnwick\\Tarnwick9\\\" -googleid=g1",
       "C:\\Tarnwick\\Tarnwick9", "Tarnwick/Tarnwick9", L"Software\\Pellfor\\Tarnwick9", "en", "g1"},
      {"qvinst.exe", "3", L"-silence -downloader -openid=op2 -path=\"C:\\Morvane\\Tarnwick3.0\"",
       "C:\\Morvane\\Tarnwick3.0", "Morvane/Tarnwick3.0", L"Software\\Dornvale2\\corvide", "<none>", "<none>"},
      {"Tarnwick.exe", "64", L"-silence -downloader -openid=op3 -language=tw -path=\"C:\\My Games\\T 64\\\"",
       "C:\\My Games\\T 64", "My Games/T 64", L"Software\\Pellfor\\Tarnwick64", "tw", "<none>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.image) + " " + c.path);
    fs::remove(record_);
    standintest::setEnvironment("TARNWICK_STANDIN_GENERATION", c.generation);
    const Outcome run = runToEnd(place(c.image), inWorld(c.parameters));
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, 0);
    for (const char* name : {"corvide.exe", "corvidectl.exe", "corvidemulti.exe"}) {
      const fs::path file = home_ / c.hostDir / name;
      EXPECT_TRUE(fs::is_regular_file(file)) << file;
      EXPECT_NE(fs::status(file).permissions() & fs::perms::owner_exec, fs::perms::none) << file;
    }
    EXPECT_EQ(utility::wideToUtf8(installDir(c.key)), inWorld(std::string(c.path)));
    const auto recs = records();
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(text(recs[0], "role"), "installer");
    EXPECT_EQ(text(recs[0], "image"), c.image);
    EXPECT_EQ(text(recs[0], "path"), inWorld(std::string(c.path)));
    EXPECT_EQ(text(recs[0], "language"), c.language);
    EXPECT_EQ(text(recs[0], "googleid"), c.googleId);
    EXPECT_EQ(text(recs[0], "result"), "installed");
    EXPECT_EQ(utility::utf8ToWide(text(recs[0], "registryKey")), c.key);
  }
}

TEST_F(StandinEmulatorTest, InstallerReinstallsOverARunningEmulator) {
  const std::wstring parameters = inWorld(L"-silence -downloader -openid=op -path=\"C:\\Tarnwick\\Tarnwick9\\\"");
  const fs::path installer = place("Tarnwick.exe");
  ASSERT_EQ(runToEnd(installer, parameters).exitCode, 0);
  standintest::setEnvironment("TARNWICK_STANDIN_EMULATOR", "stay");
  uint32_t pid = 0;
  ProcessHandle emulator = utility::process::create(
      utility::utf8ToWide((home_ / "Tarnwick/Tarnwick9/corvide.exe").string()), L"", false, &pid);
  ASSERT_TRUE(emulator);
  leftRunning_.push_back(pid);
  ASSERT_TRUE(waitForRecords(2));
  standintest::setEnvironment("TARNWICK_STANDIN_EMULATOR", nullptr);
  EXPECT_EQ(runToEnd(installer, parameters).exitCode, 0);
  EXPECT_EQ(text(records().back(), "result"), "installed");
}

TEST_F(StandinEmulatorTest, InstallerRefusesWhatIsNotASilentInstallation) {
  const std::wstring refused[] = {
      L"-downloader -openid=a -path=\"C:\\T\\\"",           // not silent
      L"-silence -openid=a -path=\"C:\\T\\\"",              // not from the downloader
      L"-silence -downloader -openid=a",                    // no folder
      L"-silence -downloader -openid=a -path=\"\"",         // empty folder
      L"-silence -downloader -openid=a -path=\"C:\\T\\\" -x",  // unknown parameter after the folder
      L"-silence -downloader -x -openid=a -path=\"C:\\T\\\"",  // unknown parameter
      L"-silence -downloader -openid=a -path=\"Q:\\T\\\"",  // no such drive
  };
  const fs::path installer = place("Tarnwick.exe");
  for (const std::wstring& parameters : refused) {
    SCOPED_TRACE(utility::wideToUtf8(parameters));
    fs::remove(record_);
    const Outcome run = runToEnd(installer, inWorld(parameters));
    EXPECT_EQ(run.exitCode, 2);
    const auto recs = records();
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(text(recs[0], "result"), "refused");
    EXPECT_FALSE(fs::exists(home_ / "T"));
    EXPECT_EQ(installDir(L"Software\\Pellfor\\Tarnwick9"), L"<none>");
  }
}

TEST_F(StandinEmulatorTest, InstallerFailsOrHangsWhenTold) {
  const std::wstring parameters = inWorld(L"-silence -downloader -openid=op -path=\"C:\\Tarnwick\\Tarnwick9\\\"");
  const fs::path installer = place("Tarnwick.exe");

  standintest::setEnvironment("TARNWICK_STANDIN_INSTALLER", "fail");
  EXPECT_EQ(runToEnd(installer, parameters).exitCode, 3);
  ASSERT_EQ(records().size(), 1u);
  EXPECT_EQ(text(records()[0], "result"), "failed");
  EXPECT_EQ(text(records()[0], "path"), inWorld(std::string("C:\\Tarnwick\\Tarnwick9")));

  standintest::setEnvironment("TARNWICK_STANDIN_INSTALLER", "hang");
  uint32_t pid = 0;
  ProcessHandle hanging = utility::process::create(utility::utf8ToWide(installer.string()), parameters, false, &pid);
  ASSERT_TRUE(hanging);
  leftRunning_.push_back(pid);
  ASSERT_TRUE(waitForRecords(2));
  EXPECT_EQ(text(records()[1], "result"), "hanging");
  int exitCode = 0;
  int error = 0;
  EXPECT_EQ(hanging.wait(0, exitCode, error), ProcessHandle::Wait::timedOut);

  EXPECT_FALSE(fs::exists(home_ / "Tarnwick"));
  EXPECT_EQ(installDir(L"Software\\Pellfor\\Tarnwick9"), L"<none>");
  standintest::killProcess(pid);
  EXPECT_EQ(hanging.wait(60000, exitCode, error), ProcessHandle::Wait::ended);
}

TEST_F(StandinEmulatorTest, EmulatorRecordsItsLaunch) {
  const fs::path emulator = place("corvide.exe");
  const Outcome run = runToEnd(emulator, L"downloadpackage=com.a.b|package=com.a.b");
  EXPECT_EQ(run.exitCode, 0);
  const auto recs = records();
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(text(recs[0], "role"), "emulator");
  ASSERT_TRUE(recs[0]["args"].IsArray());
  ASSERT_EQ(recs[0]["args"].Size(), 1u);
  EXPECT_STREQ(recs[0]["args"][0].GetString(), "downloadpackage=com.a.b|package=com.a.b");
  EXPECT_EQ(recs[0]["uid"].GetUint(), standintest::currentUserId());
  EXPECT_TRUE(recs[0]["elevated"].IsBool());
  EXPECT_EQ(text(recs[0], "cwd"), fs::current_path().string());
  EXPECT_EQ(text(recs[0], "result"), "ran");
}

TEST_F(StandinEmulatorTest, EmulatorStaysRunningWithItsMultiChild) {
  place("corvidemulti.exe");
  const fs::path emulator = place("corvide.exe");
  standintest::setEnvironment("TARNWICK_STANDIN_EMULATOR", "multi");
  uint32_t pid = 0;
  ProcessHandle running = utility::process::create(utility::utf8ToWide(emulator.string()), L"package=x", false, &pid);
  ASSERT_TRUE(running);
  leftRunning_.push_back(pid);
  ASSERT_TRUE(waitForRecords(2));
  const auto recs = records();
  const rapidjson::Value& multi = text(recs[0], "role") == "multi" ? recs[0] : recs[1];
  const rapidjson::Value& parent = text(recs[0], "role") == "multi" ? recs[1] : recs[0];
  leftRunning_.push_back(multi["pid"].GetUint());
  EXPECT_EQ(text(parent, "role"), "emulator");
  EXPECT_EQ(text(parent, "result"), "running");
  EXPECT_EQ(parent["child"].GetUint(), multi["pid"].GetUint());
  EXPECT_EQ(text(multi, "result"), "running");

  int exitCode = 0;
  int error = 0;
  EXPECT_EQ(running.wait(0, exitCode, error), ProcessHandle::Wait::timedOut);
  standintest::killProcess(pid);
  EXPECT_EQ(running.wait(60000, exitCode, error), ProcessHandle::Wait::ended);
}

TEST_F(StandinEmulatorTest, ConsoleToolAcceptsTheTwoCommandFormsAndRefusesOthers) {
  fs::create_directories(home_ / "apps");
  std::ofstream(home_ / "apps/my game.apk") << "apk";
  std::ofstream(home_ / "apps/main.obb") << "obb";
  struct Case {
    std::wstring command;
    int exitCode;
    const char* reason;  // "<none>" when accepted
  };
  const Case cases[] = {
      {L"modify --index 0 --resolution 1280x720", 0, "<none>"},
      {L"installapk --index 0 --filename \"C:\\apps\\my game.apk\" --wait --hide", 0, "<none>"},
      {L"installapk --index 0 --filename \"C:\\apps\\my game.apk\" --packagename com.a.b --fileobb "
       L"\"C:\\apps\\main.obb\" --wait --hide",
       0, "<none>"},
      {L"", 2, "no command"},
      {L"uninstallapk --index 0 --filename \"C:\\apps\\my game.apk\" --wait --hide", 2, "unknown command"},
      {L"modify --index 1 --resolution 1280x720", 2, "no --index 0"},
      {L"modify --index 0 --resolution", 2, "malformed modify"},
      {L"modify --index 0 --resolution \"\"", 2, "malformed modify"},
      {L"installapk --index 0 --filename \"C:\\apps\\my game.apk\"", 2, "malformed installapk"},
      {L"installapk --index 0 --filename C:\\apps\\my game.apk --wait --hide", 2, "malformed installapk"},
      {L"installapk --index 0 --filename \"C:\\apps\\my game.apk\" --packagename com.a.b --wait --hide", 2,
       "malformed installapk"},
      {L"installapk --index 0 --filename \"C:\\apps\\my game.apk\" --hide --wait", 2, "malformed installapk"},
      {L"installapk --index 0 --filename \"C:\\apps\\other.apk\" --wait --hide", 2, "no such file"},
      {L"installapk --index 0 --filename \"C:\\apps\\my game.apk\" --packagename com.a.b --fileobb "
       L"\"C:\\apps\\none.obb\" --wait --hide",
       2, "no such file"},
  };
  const fs::path tool = place("corvidectl.exe");
  for (const Case& c : cases) {
    SCOPED_TRACE(utility::wideToUtf8(c.command));
    fs::remove(record_);
    const Outcome run = runToEnd(tool, inWorld(c.command));
    EXPECT_EQ(run.exitCode, c.exitCode);
    const auto recs = records();
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(text(recs[0], "role"), "console");
    EXPECT_EQ(text(recs[0], "result"), c.exitCode == 0 ? "accepted" : "refused");
    EXPECT_EQ(text(recs[0], "reason"), c.reason);
  }
  // What an accepted command recorded.
  fs::remove(record_);
  runToEnd(tool, inWorld(cases[2].command));
  const auto recs = records();
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(text(recs[0], "command"), "installapk");
  EXPECT_EQ(text(recs[0], "filename"), inWorld(std::string("C:\\apps\\my game.apk")));
  EXPECT_EQ(text(recs[0], "packagename"), "com.a.b");
  EXPECT_EQ(text(recs[0], "fileobb"), inWorld(std::string("C:\\apps\\main.obb")));
}

TEST_F(StandinEmulatorTest, AnotherNameIsRefused) {
  const Outcome run = runToEnd(place("crashsend.exe"), L"");
  EXPECT_EQ(run.exitCode, 2);
  ASSERT_EQ(records().size(), 1u);
  EXPECT_EQ(text(records()[0], "role"), "unknown");
}

}  // namespace
