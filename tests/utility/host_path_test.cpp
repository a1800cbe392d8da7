// Host paths as text: what output, logs and the folder chooser see of them, against the C++
// library's own UTF-8 paths.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "utility/system/host_path.h"

namespace {

namespace fs = std::filesystem;

std::u8string asU8(const std::string& text) { return std::u8string(text.begin(), text.end()); }

// Names from the installer's world: plain, accented, Cyrillic, CJK, right-to-left, and a character
// beyond the 16-bit range (two UTF-16 units on Windows).
TEST(HostPathText, Utf8RoundTripsAndMatchesTheLibrarysPath) {
  const std::string texts[] = {
      "/plain/Tarnwick9/",
      "C:\\Spiele\\Überall\\",
      "/home/пользователь/Рабочий стол",
      "D:\\游戏\\天沃克",
      "/data/تثبيت",
      "/emoji/\xF0\x9F\x98\x80/x.exe",
      "",
  };
  for (const std::string& text : texts) {
    const utility::HostPath path = utility::HostPath::fromString(text);
    EXPECT_EQ(path.native(), fs::path(asU8(text)).native()) << text;
    EXPECT_EQ(path.string(), text);
    EXPECT_EQ(path.empty(), text.empty()) << text;
    // Through the library's path and back, nothing changes.
    EXPECT_EQ(utility::HostPath(fs::path(path)), path) << text;
    EXPECT_EQ(fs::path(path).native(), path.native()) << text;
  }
}

}  // namespace
