// Desktop launchers as the desktop starts them: `gio launch` runs the stand-in emulator from
// every installation folder the path rules accept.
#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <thread>

#include "tests/support/temp_folder.h"
#include "utility/base/strings.h"
#include "utility/system/disk.h"
#include "utility/system/drive_table.h"
#include "utility/system/ufile.h"

namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

struct FolderCase {
  const char* label;
  std::wstring folder;  // below D:\, without the drive
};
void PrintTo(const FolderCase& c, std::ostream* out) { *out << c.label; }

// A world with a home (C:), a drive for the installation (D:) and a desktop folder.
class LauncherStart : public ::testing::TestWithParam<FolderCase> {
 protected:
  void SetUp() override {
    home_ = temp_.path() / "home";
    drive_ = temp_.path() / "d";
    desktop_ = home_ / "Desktop";
    fs::create_directories(home_);
    fs::create_directories(drive_);
    utility::setDriveTableForTesting({{L'C', home_.string(), {}, {}}, {L'D', drive_.string(), {}, {}}});
    utility::ufile::setDesktopDirForTesting(desktop_.string());
  }
  void TearDown() override {
    utility::ufile::setDesktopDirForTesting({});
    utility::setDriveTableForTesting({});
  }

  testsupport::TempFolder temp_{"launcher-start-test"};
  fs::path home_, drive_, desktop_;
};

TEST_P(LauncherStart, GioStartsTheEmulatorInstalledThere) {
  const std::wstring folder = L"D:\\" + GetParam().folder + L"\\";
  ASSERT_TRUE(helper::disk::isValidInstallPath(folder)) << "a folder the path rules refuse";
  const fs::path hostFolder = utility::toHostPath(folder);
  fs::create_directories(hostFolder);
  fs::copy_file(STANDIN_EMULATOR, hostFolder / "corvide.exe");

  ASSERT_TRUE(helper::disk::createShortcut(L"Tarnwick", folder + L"icon.ico", folder, folder + L"corvide.exe",
                                           L"\"package=com.tarnwick.demo 100%\""));
  const fs::path launcher = desktop_ / "Tarnwick.desktop";
  const std::string text = readFile(launcher);
  EXPECT_EQ(std::system(("desktop-file-validate '" + launcher.string() + "' >&2").c_str()), 0) << text;
  ASSERT_EQ(std::system(("gio launch '" + launcher.string() + "' >&2").c_str()), 0) << text;

  // The stand-in records its start beside itself.
  const fs::path record = hostFolder / "standin-record.jsonl";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (readFile(record).find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  rapidjson::Document doc;
  const std::string line = readFile(record);
  ASSERT_FALSE(doc.Parse(line.c_str()).HasParseError()) << "the emulator did not start: " << text;
  EXPECT_STREQ(doc["role"].GetString(), "emulator");
  ASSERT_EQ(doc["args"].Size(), 1u) << line;
  EXPECT_STREQ(doc["args"][0].GetString(), "package=com.tarnwick.demo 100%");
  EXPECT_TRUE(fs::equivalent(fs::path(doc["cwd"].GetString()), hostFolder)) << line;
}

std::wstring longFolder() {
  // "D:\" + this + "\" is 250 characters.
  std::wstring folder = std::wstring(120, L'x') + L"\\" + std::wstring(100, L'y') + L"\\Tarnwick9";
  folder += std::wstring(250 - 4 - folder.size(), L'z');
  return folder;
}

INSTANTIATE_TEST_SUITE_P(
    FoldersThePathRulesAccept, LauncherStart,
    ::testing::Values(FolderCase{"spaces", L"Program Files\\Tarnwick  9 "},
                      FolderCase{"single_quote", L"Tarnwick's games"},
                      FolderCase{"percent", L"100% games\\Tarnwick%20%%9"},
                      FolderCase{"dollar", L"$HOME\\${PATH}$(id)"},
                      FolderCase{"backquote", L"`id`\\a`b"},
                      FolderCase{"shell_and_entry_specials", L"a;b&c~e#f(g)h\\j=k[l]{m}"},
                      FolderCase{"non_ascii", L"\u00c9mulateur \u6e38\u620f\\\U0001F3AE"},
                      FolderCase{"all_together", L"100% $HOME `id` 'q' \u6e38"},
                      FolderCase{"long_250", longFolder()}),
    [](const ::testing::TestParamInfo<FolderCase>& tested) { return std::string(tested.param.label); });

}  // namespace
