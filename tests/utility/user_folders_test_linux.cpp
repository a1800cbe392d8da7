// The data and desktop folders come from the user's settings as every desktop program reads
// them. Their lookups are read once per process, so each case runs in a fresh process: a
// death test in the "threadsafe" style runs this binary again, and the child sets its world up
// before the first lookup and prints what it found relative to that world.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/temp_folder.h"
#include "utility/base/strings.h"
#include "utility/system/ufile.h"

namespace fs = std::filesystem;

namespace {

struct World {
  testsupport::TempFolder base{"user-folders"};
  fs::path home = base.path() / "home";
  fs::path config = base.path() / "config";
  World() {
    fs::create_directories(home);
    fs::create_directories(config);
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    unsetenv("XDG_DATA_HOME");
    unsetenv("TARNWICK_DRIVES");  // the home is drive C:
  }
};

// Child side: prints "<desktop>|<data>" and ends the child.
[[noreturn]] void printFolders(World& world) {
  const std::string text = "folders <" + utility::wideToUtf8(utility::ufile::desktopDir()) + "|" +
                           utility::wideToUtf8(utility::ufile::appDataDir()) + ">";
  world.~World();
  std::fprintf(stderr, "%s\n", text.c_str());
  std::fflush(stderr);
  std::_Exit(0);
}

std::string escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (std::string("\\|.()[]{}*+?^$").find(c) != std::string::npos) out += '\\';
    out += c;
  }
  return out;
}

TEST(UserFolders, DesktopFromUserDirsAndDataFromTheEnvironment) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  struct Case {
    const char* label;
    const char* userDirs;  // content of user-dirs.dirs, null for no file; "@" stands for the home
    const char* dataHome;  // XDG_DATA_HOME, "@" stands for the home; null: unset
    const char* expected;  // "desktop|data"
  };
  const Case cases[] = {
      {"no settings", nullptr, nullptr, "C:\\Desktop|C:\\.local\\share"},
      {"desktop below $HOME", "# comment\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n", nullptr,
       "C:\\Schreibtisch|C:\\.local\\share"},
      {"absolute desktop", "XDG_DOWNLOAD_DIR=\"$HOME/dl\"\nXDG_DESKTOP_DIR=\"@/Bureau/\"\n", "@/data/",
       "C:\\Bureau|C:\\data"},
      {"file names no desktop", "XDG_DOWNLOAD_DIR=\"$HOME/dl\"\n", "@/share", "C:\\Desktop|C:\\share"},
      {"relative data folder is ignored", nullptr, "relative/data", "C:\\Desktop|C:\\.local\\share"},
  };
  for (const Case& c : cases) {
    EXPECT_EXIT(
        {
          World world;
          auto expand = [&](std::string text) {
            for (size_t at; (at = text.find('@')) != std::string::npos;) text.replace(at, 1, world.home.string());
            return text;
          };
          if (c.userDirs != nullptr) std::ofstream(world.config / "user-dirs.dirs") << expand(c.userDirs);
          if (c.dataHome != nullptr) setenv("XDG_DATA_HOME", expand(c.dataHome).c_str(), 1);
          printFolders(world);
        },
        ::testing::ExitedWithCode(0), "folders <" + escaped(c.expected) + ">")
        << c.label;
  }
}

}  // namespace
