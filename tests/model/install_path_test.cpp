#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>

#include "model/config_imp.h"
#include "model/downloader_model.h"
#include "tests/support/temp_folder.h"
#include "utility/system/disk.h"
#include "utility/system/linux/disk_linux.h"
#include "utility/system/drive_table.h"
#include "utility/system/log.h"
#include "utility/system/registry.h"
#include "utility/base/strings.h"

namespace fs = std::filesystem;

namespace {

std::mutex gLogMutex;
std::vector<std::wstring> gLog;

void captureLog(const char* function, int, const wchar_t* text) {
  if (std::string(function) != "DownloaderModel::_calcInstallPath") return;
  std::lock_guard<std::mutex> lock(gLogMutex);
  gLog.emplace_back(text);
}

}  // namespace

// Reaches the model's installation-path step for one fresh model per case.
class DownloaderModelTest : public ::testing::Test {
 public:
  struct Result {
    std::wstring installPath, bestPath;
    uint8_t bestPathFlag;
  };

  static Result calc() {
    auto* model = new DownloaderModel();
    model->_calcInstallPath();
    Result r{model->getInstallPath(), model->getBestPath(), model->getBestPathFlag()};
    delete model;
    return r;
  }
  static Result initFrom(const std::wstring& modulePath) {
    auto* model = new DownloaderModel();
    model->_initFrom(modulePath, nullptr);
    Result r{model->installPath_, model->bestPath_, model->bestPathFlag_};
    delete model;
    return r;
  }

 protected:
  // A machine of its own: home (C:), the registry under a private configuration folder, and a
  // sysfs that knows no disk.
  void SetUp() override {
    folder_.emplace("install-path");
    base_ = folder_->path();
    fs::create_directories(base_ / "home");
    fs::create_directories(base_ / "config");
    fs::create_directories(base_ / "sysfs");
    setenv("XDG_CONFIG_HOME", (base_ / "config").c_str(), 1);
    if (const char* home = std::getenv("HOME")) savedHome_ = home;
    setenv("HOME", (base_ / "home").c_str(), 1);
    // C: alone: a second letter on the same volume could win the free-space comparison
    // whenever other tests write to that volume between the two readings.
    utility::setDriveTableForTesting({{L'C', (base_ / "home").string(), {}, {}}});
    helper::disk::setSysfsRootForTesting((base_ / "sysfs").string());
    gLog.clear();
    common::setLogHook(captureLog);
  }
  void TearDown() override {
    common::setLogHook(nullptr);
    helper::disk::setSysfsRootForTesting({});
    utility::setDriveTableForTesting({});
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", savedHome_.c_str(), 1);
    ConfigImp::instance().language = L"en";
    ConfigImp::instance().setPlayer9();
    folder_.reset();
  }

  // Makes the fake sysfs put the test's volume on a disk with TRIM.
  void volumeOnSolidStateDisk() {
    const std::string number = helper::disk::volumeDeviceNumber(L"C:");
    ASSERT_FALSE(number.empty());
    const fs::path disk = base_ / "sysfs" / "devices" / "nvme0n1";
    fs::create_directories(disk / "queue");
    std::ofstream(disk / "queue" / "discard_max_bytes") << "2199023255040\n";
    fs::create_directories(base_ / "sysfs" / "block");
    fs::create_directories(base_ / "sysfs" / "dev" / "block");
    fs::create_directory_symlink("../devices/nvme0n1", base_ / "sysfs" / "block" / "nvme0n1");
    fs::create_directory_symlink("../../devices/nvme0n1", base_ / "sysfs" / "dev" / "block" / number);
  }

  static bool keyExists(const std::wstring& path) {
    utility::registry::Key key;
    return key.open(path);
  }

  std::optional<testsupport::TempFolder> folder_;
  fs::path base_;
  std::string savedHome_;
};

namespace {

using Setter = void (ConfigImp::*)();

struct RegistryValue {
  const wchar_t* key;
  std::wstring installDir;
};

TEST_F(DownloaderModelTest, InstalledEmulatorOrComputedFolder) {
  const std::wstring tw = L"Software\\Dornvale\\corvide-tw";
  const std::wstring kr = L"Software\\Dornvale\\corvide-kr";
  struct Case {
    const char* label;
    Setter generation;
    const wchar_t* language;
    std::vector<RegistryValue> registry;
    std::wstring installPath;
    bool computed;
    std::vector<std::wstring> keysAfter;
    std::vector<std::wstring> keysAbsent;
  };
  const Case cases[] = {
      {"the tw key wins for generation 9", &ConfigImp::setPlayer9, L"tw",
       {{L"Software\\Dornvale\\corvide-tw", L"E:\\TW\\"}, {L"Software\\Pellfor\\Tarnwick9", L"E:\\Gen"}},
       L"E:\\TW\\", false, {}, {}},
      {"an empty tw key falls back to the generation key", &ConfigImp::setPlayer9, L"tw",
       {{L"Software\\Pellfor\\Tarnwick9", L"E:\\Gen"}}, L"E:\\Gen", false, {tw}, {kr}},
      {"the kr key for generation 3", &ConfigImp::setPlayer3, L"kr",
       {{L"Software\\Dornvale\\corvide-kr", L"F:\\KR"}, {L"Software\\Dornvale\\Tarnwick", L"E:\\Gen"}},
       L"F:\\KR", false, {}, {}},
      {"generation 4 with tw neither reads nor creates the tw key", &ConfigImp::setPlayer4, L"tw",
       {{L"Software\\Pellfor\\Tarnwick", L"E:\\Four\\"}}, L"E:\\Four\\", false, {}, {tw}},
      {"generation 64 with kr ignores the kr key", &ConfigImp::setPlayer64, L"kr",
       {{L"Software\\Dornvale\\corvide-kr", L"F:\\KR"}}, L"C:\\Tarnwick\\Tarnwick64\\", true,
       {L"Software\\Pellfor\\Tarnwick64"}, {}},
      {"an empty InstallDir means no installation", &ConfigImp::setPlayer9, L"en",
       {{L"Software\\Pellfor\\Tarnwick9", L""}}, L"C:\\Tarnwick\\Tarnwick9\\", true, {}, {tw, kr}},
      {"a fresh machine leaves the empty generation key behind", &ConfigImp::setPlayer9, L"en", {},
       L"C:\\Tarnwick\\Tarnwick9\\", true, {L"Software\\Pellfor\\Tarnwick9"}, {tw, kr}},
      {"the China variant", &ConfigImp::setPlayer9, L"cn", {}, L"C:\\Morvane\\Tarnwick9\\", true,
       {L"Software\\morvane\\Tarnwick9"}, {}},
      {"generation 4 international folder", &ConfigImp::setPlayer4, L"en", {}, L"C:\\Tarnwick\\Tarnwick4.0\\",
       true, {L"Software\\Pellfor\\Tarnwick"}, {}},
      {"text up to the first NUL", &ConfigImp::setPlayer9, L"en",
       {{L"Software\\Pellfor\\Tarnwick9", std::wstring(L"G:\\Emu\0junk", 11)}}, L"G:\\Emu", false, {}, {}},
      {"a value too long for the buffer is not read", &ConfigImp::setPlayer9, L"en",
       {{L"Software\\Pellfor\\Tarnwick9", L"G:\\" + std::wstring(1021, L'x')}}, L"C:\\Tarnwick\\Tarnwick9\\", true,
       {}, {}},
      {"the longest value that fits", &ConfigImp::setPlayer9, L"en",
       {{L"Software\\Pellfor\\Tarnwick9", L"G:\\" + std::wstring(1020, L'x')}}, L"G:\\" + std::wstring(1020, L'x'),
       false, {}, {}},
  };
  for (const Case& c : cases) {
    std::error_code ignored;
    fs::remove_all(base_ / "config", ignored);
    for (const RegistryValue& value : c.registry) {
      utility::registry::Key key;
      ASSERT_TRUE(key.create(value.key));
      ASSERT_TRUE(key.setString(L"InstallDir", value.installDir));
    }
    ConfigImp::instance().language = c.language;
    (ConfigImp::instance().*c.generation)();

    const Result r = calc();
    EXPECT_EQ(r.installPath, c.installPath) << c.label;
    EXPECT_EQ(r.bestPath, c.computed ? c.installPath : L"") << c.label;
    EXPECT_EQ(r.bestPathFlag, 0) << c.label;
    for (const std::wstring& key : c.keysAfter) {
      EXPECT_TRUE(keyExists(key)) << c.label << ": " << utility::wideToUtf8(key);
      utility::registry::Key opened;
      if (opened.open(key)) {
        EXPECT_TRUE(opened.values().empty()) << c.label << ": " << utility::wideToUtf8(key);
      }
    }
    for (const std::wstring& key : c.keysAbsent) {
      EXPECT_FALSE(keyExists(key)) << c.label << ": " << utility::wideToUtf8(key);
    }
  }
}

TEST_F(DownloaderModelTest, ComputedFolderLogsAndSolidStateFlag) {
  volumeOnSolidStateDisk();
  const Result r = calc();
  EXPECT_EQ(r.installPath, L"C:\\Tarnwick\\Tarnwick9\\");
  EXPECT_EQ(r.bestPath, r.installPath);
  EXPECT_EQ(r.bestPathFlag, 1);
  std::lock_guard<std::mutex> lock(gLogMutex);
  EXPECT_EQ(gLog, (std::vector<std::wstring>{L"read from reg: path is ",
                                             L"get install path from MaxFreeSpace: C:\\Tarnwick\\Tarnwick9\\"}));
}

TEST_F(DownloaderModelTest, NoUsableDriveGivesTheBareFolder) {
  utility::setDriveTableForTesting({{L'C', (base_ / "gone").string(), {}, {}}});
  const Result r = calc();
  EXPECT_EQ(r.installPath, L"Tarnwick\\Tarnwick9\\");
  EXPECT_EQ(r.bestPath, L"Tarnwick\\Tarnwick9\\");
  EXPECT_EQ(r.bestPathFlag, 0);
}

TEST_F(DownloaderModelTest, InitProposesThePathForTheGenerationAndLanguageOfItsName) {
  utility::registry::Key key;
  ASSERT_TRUE(key.create(L"Software\\Dornvale\\corvide-tw"));
  ASSERT_TRUE(key.setString(L"InstallDir", L"D:\\Games\\Corvide\\"));
  EXPECT_EQ(initFrom(L"D:\\dl\\tarnwick9_tw_35036_x.exe").installPath, L"D:\\Games\\Corvide\\");
  EXPECT_EQ(initFrom(L"D:\\dl\\tarnwick64_tw_35036_x.exe").installPath, L"C:\\Tarnwick\\Tarnwick64\\");
  std::lock_guard<std::mutex> lock(gLogMutex);
  EXPECT_EQ(gLog.front(), L"read from reg: path is D:\\Games\\Corvide\\");
}

}  // namespace
