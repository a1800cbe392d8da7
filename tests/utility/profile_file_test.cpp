// Settings files: one value set at a time, the rest of the file kept, the file replaced whole.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_folder.h"
#include "utility/base/strings.h"
#include "utility/system/drive_table.h"
#include "utility/system/profile_file.h"

namespace fs = std::filesystem;

namespace {

using namespace std::string_literals;

TEST(ProfileFile, SettingAValueKeepsTheRestOfTheFile) {
  struct Case {
    const char* label;
    std::string before;
    const char* section;
    const char* key;
    std::string value;
    std::string after;
  };
  const Case cases[] = {
      {"no file yet", "", "setting", "adshow", "0", "[setting]\r\nadshow=0\r\n"},
      {"key replaced in its line; comments, other sections and LF endings kept",
       "; emulator settings\n[setting]\nadshow=1\ntitle=x\n\n[other]\nadshow=5\n", "setting", "adshow", "0",
       "; emulator settings\n[setting]\nadshow=0\ntitle=x\n\n[other]\nadshow=5\n"},
      {"names compare without case and blanks", "[ Setting ]\r\n  AdShow = 1\r\nx=2\r\n", "setting", "adshow", "0",
       "[ Setting ]\r\nadshow=0\r\nx=2\r\n"},
      {"missing key after the section's last filled line", "[setting]\na=1\n\n[other]\nb=2\n", "setting", "c", "3",
       "[setting]\na=1\nc=3\n\n[other]\nb=2\n"},
      {"missing section at the end of a file without final line break", "[other]\nb=2", "setting", "c", "3",
       "[other]\nb=2\n[setting]\nc=3\n"},
      {"missing key in the last section without final line break", "[setting]\na=1", "setting", "c", "3",
       "[setting]\na=1\nc=3\n"},
      {"empty section gets the key under its header", "[setting]\r\n[other]\r\nb=2\r\n", "setting", "c", "3",
       "[setting]\r\nc=3\r\n[other]\r\nb=2\r\n"},
      {"the first of two sections of the name", "[setting]\na=1\n[setting]\na=2\n", "setting", "a", "9",
       "[setting]\na=9\n[setting]\na=2\n"},
      {"the first of two keys of the name", "[setting]\na=1\na=2\n", "setting", "a", "9", "[setting]\na=9\na=2\n"},
      {"a key of another section is not the key", "[other]\nc=1\n[setting]\nd=4\n", "setting", "c", "2",
       "[other]\nc=1\n[setting]\nd=4\nc=2\n"},
      {"a commented key is not the key; lines without '=' kept", "[setting]\n;c=1\nloose line\n", "setting", "c", "2",
       "[setting]\n;c=1\nloose line\nc=2\n"},
      {"keys before any section are not in it", "c=1\n[setting]\n", "setting", "c", "2", "c=1\n[setting]\nc=2\n"},
      {"UTF-8 mark kept", "\xEF\xBB\xBF[setting]\r\na=1\r\n", "setting", "a", "2", "\xEF\xBB\xBF[setting]\r\na=2\r\n"},
      {"CR-only endings", "[setting]\ra=1\r", "setting", "b", "2", "[setting]\ra=1\rb=2\r"},
      {"value with '=', ';' and brackets taken literally", "", "setting", "title", "a=b;c[d]",
       "[setting]\r\ntitle=a=b;c[d]\r\n"},
      {"empty value", "[setting]\na=1\n", "setting", "a", "", "[setting]\na=\n"},
      {"bytes that are no UTF-8 kept", "[setting]\nt=\xE4\n", "setting", "u", "\xF6", "[setting]\nt=\xE4\nu=\xF6\n"},
  };
  for (const Case& c : cases) {
    const auto after = utility::profile::withValue(c.before, c.section, c.key, c.value);
    ASSERT_TRUE(after.has_value()) << c.label;
    EXPECT_EQ(*after, c.after) << c.label;
  }
}

TEST(ProfileFile, TextsThatWouldAddLinesSectionsOrKeysAreRefused) {
  struct Case {
    const char* label;
    std::string section;
    std::string key;
    std::string value;
  };
  const Case cases[] = {
      {"LF in the value", "setting", "title", "a\n[other]\nkey=1"},
      {"CR in the value", "setting", "title", "a\rkey=1"},
      {"NUL in the value", "setting", "title", "a\0b"s},
      {"line break in the key", "setting", "ti\ntle", "a"},
      {"'=' in the key", "setting", "useroot=1\nx", "a"},
      {"'=' alone in the key", "setting", "a=b", "c"},
      {"empty key", "setting", " ", "a"},
      {"key read back as a section", "setting", "[other]", "a"},
      {"key read back as a comment", "setting", ";a", "a"},
      {"']' in the section", "setting]x", "a", "b"},
      {"empty section", "", "a", "b"},
      {"line break in the section", "set\nting", "a", "b"},
  };
  const std::string before = "[setting]\na=1\n";
  for (const Case& c : cases) {
    EXPECT_FALSE(utility::profile::isWritable(c.section, c.key, c.value)) << c.label;
    EXPECT_FALSE(utility::profile::withValue(before, c.section, c.key, c.value).has_value()) << c.label;
  }
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::set<std::string> namesIn(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::u8string name = entry.path().filename().u8string();
    names.insert(std::string(name.begin(), name.end()));
  }
  return names;
}

class ProfileFileOnDisk : public ::testing::Test {
 protected:
  ProfileFileOnDisk() : temp_("profile-file") {
    utility::setDriveTableForTesting({utility::Drive{L'C', temp_.path().string(), "ext4", ""}});
    c_ = utility::fromHostPath(temp_.path());
    while (!c_.empty() && (c_.back() == L'\\' || c_.back() == L'/')) c_.pop_back();
  }
  ~ProfileFileOnDisk() override { utility::setDriveTableForTesting({}); }

  // "C:\x" of the tests: drive C: where drive letters are folders, the folder's own text on
  // Windows.
  std::wstring at(const std::wstring& text) const { return text.rfind(L"C:", 0) == 0 ? c_ + text.substr(2) : text; }

  testsupport::TempFolder temp_;
  std::wstring c_;
};

TEST_F(ProfileFileOnDisk, WritesReplaceTheFileWholeAndLeaveNothingBeside) {
  const fs::path file = temp_.path() / "data.ini";
  std::ofstream(file, std::ios::binary) << "; kept\r\n[setting]\r\nadshow=1\r\n[other]\r\nx=1\r\n";
  std::error_code error;
  const fs::path alias = temp_.path() / "alias.ini";
  fs::create_hard_link(file, alias, error);  // sees the old file only
  ASSERT_FALSE(error);

  EXPECT_TRUE(utility::profile::writeString(L"setting", L"adshow", L"0", at(L"C:\\data.ini")));
  EXPECT_TRUE(utility::profile::writeBytes("setting", "title", "T\xC3\xA4rnwick", at(L"C:\\data.ini")));
  EXPECT_EQ(readFile(file), "; kept\r\n[setting]\r\nadshow=0\r\ntitle=T\xC3\xA4rnwick\r\n[other]\r\nx=1\r\n");
  // A new file took the name; the old one was never written into.
  EXPECT_EQ(readFile(alias), "; kept\r\n[setting]\r\nadshow=1\r\n[other]\r\nx=1\r\n");
  EXPECT_EQ(fs::hard_link_count(file), 1u);
  EXPECT_EQ(namesIn(temp_.path()), (std::set<std::string>{"data.ini", "alias.ini"}));
}

TEST_F(ProfileFileOnDisk, NewFileInAnExistingFolder) {
  fs::create_directories(temp_.path() / "Tarnwick9" / "data");
  EXPECT_TRUE(utility::profile::writeString(L"setting", L"runapp", L"com.tarnwick.demo",
                                            at(L"C:\\Tarnwick9\\\\data\\data.ini")));
  EXPECT_EQ(readFile(temp_.path() / "Tarnwick9/data/data.ini"), "[setting]\r\nrunapp=com.tarnwick.demo\r\n");
  // No folder, no file.
  EXPECT_FALSE(utility::profile::writeString(L"setting", L"a", L"1", at(L"C:\\missing\\data.ini")));
  EXPECT_FALSE(fs::exists(temp_.path() / "missing"));
}

TEST_F(ProfileFileOnDisk, WhatCannotBeReadWholeIsLeftAlone) {
  // A folder at the name.
  fs::create_directories(temp_.path() / "folder.ini");
  EXPECT_FALSE(utility::profile::writeString(L"setting", L"a", L"1", at(L"C:\\folder.ini")));
  EXPECT_TRUE(fs::is_directory(temp_.path() / "folder.ini"));
  // A file longer than the limit is refused, not cut.
  const fs::path big = temp_.path() / "big.ini";
  const std::string text = "[setting]\n" + std::string(utility::profile::kMaxFileBytes, ';');
  std::ofstream(big, std::ios::binary) << text;
  EXPECT_FALSE(utility::profile::writeString(L"setting", L"a", L"1", at(L"C:\\big.ini")));
  EXPECT_EQ(fs::file_size(big), text.size());
  // Texts that would add lines, also on their way through the code page.
  EXPECT_FALSE(utility::profile::writeString(L"setting", L"a", L"1\r\n[x]", at(L"C:\\new.ini")));
  EXPECT_FALSE(utility::profile::writeString(L"setting", L"a", std::wstring(L"1\0b", 3), at(L"C:\\new.ini")));
  EXPECT_FALSE(fs::exists(temp_.path() / "new.ini"));
}

TEST_F(ProfileFileOnDisk, WritersOfOneProcessTakeTurns) {
  constexpr int kThreads = 4;
  constexpr int kKeys = 15;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      for (int k = 0; k < kKeys; ++k) {
        const std::wstring key = L"k" + std::to_wstring(t) + L"_" + std::to_wstring(k);
        utility::profile::writeString(L"setting", key, L"v", at(L"C:\\shared.ini"));
      }
    });
  }
  for (auto& thread : threads) thread.join();
  const std::string text = readFile(temp_.path() / "shared.ini");
  for (int t = 0; t < kThreads; ++t) {
    for (int k = 0; k < kKeys; ++k) {
      const std::string line = "k" + std::to_string(t) + "_" + std::to_string(k) + "=v\r\n";
      EXPECT_NE(text.find(line), std::string::npos) << line;
    }
  }
}

}  // namespace
