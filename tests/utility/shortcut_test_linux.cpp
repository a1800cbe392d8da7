// Desktop shortcuts as freedesktop launchers: what the desktop starts from them, and where they
// are written.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "tests/support/temp_folder.h"
#include "utility/system/disk.h"
#include "utility/system/drive_table.h"
#include "utility/system/log.h"
#include "utility/base/strings.h"
#include "utility/system/ufile.h"

namespace fs = std::filesystem;

namespace {

std::mutex gLogMutex;
std::vector<std::wstring> gLog;

void captureLog(const char*, int, const wchar_t* text) {
  std::lock_guard<std::mutex> lock(gLogMutex);
  gLog.emplace_back(text);
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A world with a home (C:), a drive holding the target (D:) and a desktop folder below the home.
class Shortcuts : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = temp_.path();
    home_ = base_ / "home";
    drive_ = base_ / "d";
    desktop_ = home_ / "Desktop";
    program_ = drive_ / "Tarnwick Games" / "Tarnwick9";
    fs::create_directories(home_);
    fs::create_directories(program_);
    record_ = base_ / "record.txt";
    // Records its working folder and arguments, one per line.
    std::ofstream(program_ / "corvide.sh")
        << "#!/bin/sh\n{ pwd; for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done; } > '" << record_.string()
        << ".tmp' && mv '" << record_.string() << ".tmp' '" << record_.string() << "'\n";
    fs::permissions(program_ / "corvide.sh", fs::perms::owner_all);
    utility::setDriveTableForTesting({{L'C', home_.string(), {}, {}}, {L'D', drive_.string(), {}, {}}});
    utility::ufile::setDesktopDirForTesting(desktop_.string());
    gLog.clear();
    common::setLogHook(captureLog);
  }
  void TearDown() override {
    common::setLogHook(nullptr);
    utility::ufile::setDesktopDirForTesting({});
    utility::setDriveTableForTesting({});
  }

  static bool validates(const fs::path& file) {
    const std::string command = "desktop-file-validate '" + file.string() + "' >&2";
    return std::system(command.c_str()) == 0;
  }

  // Starts the launcher as the desktop does and returns what the target recorded.
  std::vector<std::string> launch(const fs::path& file) {
    fs::remove(record_);
    const std::string command = "gio launch '" + file.string() + "' >&2";
    EXPECT_EQ(std::system(command.c_str()), 0);
    for (int i = 0; i < 600 && !fs::exists(record_); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::vector<std::string> lines;
    std::istringstream text(readFile(record_));
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
  }

  std::vector<fs::path> filesBelow(const fs::path& folder) const {
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
      if (!entry.is_directory()) files.push_back(entry.path());
    }
    return files;
  }

  testsupport::TempFolder temp_{"shortcut-test"};
  fs::path base_, home_, drive_, desktop_, program_, record_;
};

TEST_F(Shortcuts, LauncherRunsTheTargetWithItsArgumentsAndFolder) {
  const std::wstring arguments =
      L"-package com.game.app \"two words\" 100% \"$HOME\" `id` back\\slash \"q\\\"uote\" 'single' ~ #x";
  ASSERT_TRUE(helper::disk::createShortcut(L"Tarnwick 9", L"D:\\Tarnwick Games\\Tarnwick9\\icon.ico",
                                           L"D:\\Tarnwick Games\\Tarnwick9\\",
                                           L"D:\\Tarnwick Games\\Tarnwick9\\corvide.sh", arguments));
  const fs::path file = desktop_ / "Tarnwick 9.desktop";
  ASSERT_TRUE(fs::exists(file));
  EXPECT_NE(fs::status(file).permissions() & fs::perms::owner_exec, fs::perms::none);
  EXPECT_TRUE(validates(file)) << readFile(file);
  const std::string text = readFile(file);
  EXPECT_NE(text.find("Name=Tarnwick 9\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Icon=" + (program_ / "icon.ico").string() + "\n"), std::string::npos) << text;

  const std::vector<std::string> expected = {
      program_.string(), "[-package]",    "[com.game.app]", "[two words]", "[100%]", "[$HOME]",
      "[`id`]",          "[back\\slash]", "[q\"uote]",      "['single']",  "[~]",    "[#x]"};
  EXPECT_EQ(launch(file), expected) << text;
}

TEST_F(Shortcuts, EmptyArgumentsSetNoneAndAnExistingLauncherIsReplaced) {
  ASSERT_TRUE(helper::disk::createShortcut(L"Tarnwick", L"", L"D:\\Tarnwick Games\\Tarnwick9",
                                           L"D:\\Tarnwick Games\\Tarnwick9\\corvide.sh", L"-old"));
  ASSERT_TRUE(helper::disk::createShortcut(L"Tarnwick", L"", L"D:\\Tarnwick Games\\Tarnwick9",
                                           L"D:\\Tarnwick Games\\Tarnwick9\\corvide.sh", L""));
  EXPECT_EQ(filesBelow(desktop_), (std::vector<fs::path>{desktop_ / "Tarnwick.desktop"}));
  const fs::path file = desktop_ / "Tarnwick.desktop";
  EXPECT_TRUE(validates(file));
  EXPECT_EQ(readFile(file).find("Icon="), std::string::npos);
  EXPECT_EQ(launch(file), std::vector<std::string>{program_.string()});
}

TEST_F(Shortcuts, HostileLinkNamesStayInsideTheDesktopFolder) {
  const wchar_t* const names[] = {L"../escape",
                                  L"..\\..\\escape",
                                  L"/tmp/escape",
                                  L"Desktop/../../escape",
                                  L"\n[Desktop Entry]\nExec=/bin/false",
                                  L"..",
                                  L".",
                                  L"tab\there"};
  for (const wchar_t* name : names) {
    helper::disk::createShortcut(name, L"", L"D:\\", L"D:\\Tarnwick Games\\Tarnwick9\\corvide.sh", L"x");
  }
  // Everything written is a launcher directly in the desktop folder, and a valid one.
  for (const fs::path& file : filesBelow(base_)) {
    if (file.parent_path() == program_) continue;
    EXPECT_EQ(file.parent_path(), desktop_) << file;
    EXPECT_EQ(file.extension(), ".desktop") << file;
    EXPECT_EQ(file.filename().string()[0] == '.', false) << file;
    EXPECT_TRUE(validates(file)) << file;
  }
  EXPECT_EQ(filesBelow(desktop_).size(), 6u);  // ".." and "." leave no usable name
  const std::string injected = readFile(desktop_ / "_[Desktop Entry]_Exec=_bin_false.desktop");
  EXPECT_EQ(injected.find("\nExec=/bin/false"), std::string::npos) << injected;
}

TEST_F(Shortcuts, FailuresAreLoggedAndReported) {
  struct Case {
    const char* label;
    std::string desktop;  // empty: keep the fixture's
    const wchar_t* link;
    const wchar_t* target;
    const wchar_t* logged;
  };
  fs::create_directories(base_ / "plain");
  std::ofstream(base_ / "plain" / "file") << "x";
  const Case cases[] = {
      {"desktop folder is a file", (base_ / "plain" / "file").string(), L"a", L"D:\\x",
       L"install 2 of create shortcut failed!"},
      {"no usable link name", "", L"..", L"D:\\x", L"install 3 of create shortcut failed!"},
      {"target on no drive", "", L"a", L"Q:\\x", L"install 3 of create shortcut failed!"},
  };
  for (const Case& c : cases) {
    if (!c.desktop.empty()) utility::ufile::setDesktopDirForTesting(c.desktop);
    gLog.clear();
    EXPECT_FALSE(helper::disk::createShortcut(c.link, L"", L"", c.target, L"")) << c.label;
    std::lock_guard<std::mutex> lock(gLogMutex);
    EXPECT_NE(std::find(gLog.begin(), gLog.end(), std::wstring(c.logged)), gLog.end()) << c.label;
    utility::ufile::setDesktopDirForTesting(desktop_.string());
  }
}

TEST_F(Shortcuts, MissingDesktopFolderIsCreated) {
  ASSERT_FALSE(fs::exists(desktop_));
  EXPECT_TRUE(
      helper::disk::createShortcut(L"X", L"", L"", L"D:\\Tarnwick Games\\Tarnwick9\\corvide.sh", L""));
  EXPECT_TRUE(fs::exists(desktop_ / "X.desktop"));
}

}  // namespace
