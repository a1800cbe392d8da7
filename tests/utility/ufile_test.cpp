// File utilities on Windows path texts, on every system: C: and D: stand for two folders of the
// test (drive letters on systems without them, the folders' own texts on Windows).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"
#include "utility/system/drive_table.h"
#include "utility/system/log.h"
#include "utility/base/strings.h"
#include "utility/system/ufile.h"

namespace fs = std::filesystem;

namespace {

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

TEST(UFile, FileNameAndParentDirTable) {
  struct Case {
    const wchar_t* path;
    const wchar_t* nameWithoutExt;
    const wchar_t* nameWithExt;
    const wchar_t* parent;
  };
  const Case cases[] = {
      {L"C:\\dl\\setup.beta.exe", L"setup.beta", L"setup.beta.exe", L"C:\\dl\\"},
      {L"setup.exe", L"", L"", L""},
      {L"C:\\a\\b\\", L"", L"", L"C:\\a\\"},
      {L"C:\\a\\b", L"b", L"b", L"C:\\a\\"},
      {L"/usr/bin/tool.sh", L"tool", L"tool.sh", L"/usr/bin/"},
      {L"C:\\mixed/part\\name.txt", L"name", L"name.txt", L"C:\\mixed/part\\"},
      {L"C:\\a/b", L"a/b", L"a/b", L"C:\\"},  // "\" is preferred when both occur
      {L"\\", L"", L"", L""},
      {L"", L"", L"", L""},
  };
  for (const Case& c : cases) {
    const std::string label = utility::wideToUtf8(c.path);
    EXPECT_EQ(utility::ufile::fileName(c.path, false), c.nameWithoutExt) << label;
    EXPECT_EQ(utility::ufile::fileName(c.path, true), c.nameWithExt) << label;
    EXPECT_EQ(utility::ufile::parentDir(c.path), c.parent) << label;
  }
}

// Name lengths count characters, not units: a surrogate pair (what a 16-bit wchar_t holds for a
// character above U+FFFF) is one character of four UTF-8 bytes, a lone surrogate one of three.
TEST(UFile, NameLengthsCountWholeCharacters) {
  struct Case {
    std::wstring text;
    size_t utf8;
    size_t utf16;
  };
  const Case cases[] = {
      {L"", 0, 0},
      {L"setup.exe", 9, 9},
      {L"\u00e9", 2, 1},
      {L"\u6e38\u620f", 6, 2},
      {L"\U0001F3AE", 4, 2},
      {std::wstring{static_cast<wchar_t>(0xD83C), static_cast<wchar_t>(0xDFAE)}, 4, 2},  // the same, as a pair
      {std::wstring{static_cast<wchar_t>(0xD83C)}, 3, 1},                                  // a lone surrogate
      {L"a\U0001F3AEb\u00e9", 8, 5},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(utility::ufile::utf8Length(c.text), c.utf8) << c.text.size();
    EXPECT_EQ(utility::ufile::utf16Length(c.text), c.utf16) << c.text.size();
  }
}

class UFileOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = temp_.path();
    fs::create_directories(root_ / "c");
    fs::create_directories(root_ / "d");
    utility::setDriveTableForTesting({{L'C', (root_ / "c").string(), {}, {}}, {L'D', (root_ / "d").string(), {}, {}}});
    c_ = folderText(root_ / "c");
    d_ = folderText(root_ / "d");
  }
  void TearDown() override {
    utility::setDriveTableForTesting({});
  }
  // The Windows text of a test folder, without trailing separator.
  static std::wstring folderText(const fs::path& folder) {
    std::wstring text = utility::fromHostPath(folder);
    while (!text.empty() && (text.back() == L'\\' || text.back() == L'/')) text.pop_back();
    return text;
  }
  // "C:\x" and "D:\x" of the tests, on the test's folders.
  std::wstring at(const std::wstring& text) const {
    if (text.rfind(L"C:", 0) == 0) return c_ + text.substr(2);
    if (text.rfind(L"D:", 0) == 0) return d_ + text.substr(2);
    return text;
  }
  testsupport::TempFolder temp_{"ufile"};
  fs::path root_;
  std::wstring c_;
  std::wstring d_;
};

TEST_F(UFileOnDisk, FolderCreationMoveRemoveAndSizes) {
  EXPECT_TRUE(utility::ufile::makeDir(at(L"D:\\Tarnwick\\Tarnwick9\\")));
  EXPECT_TRUE(fs::is_directory(root_ / "d/Tarnwick/Tarnwick9"));
  EXPECT_TRUE(utility::ufile::makeDir(at(L"D:\\Tarnwick\\Tarnwick9")));  // already there
  EXPECT_TRUE(utility::ufile::exists(at(L"D:\\tarnwick")) == fs::exists(root_ / "d/tarnwick"));

  std::ofstream(root_ / "d/Tarnwick/a.tmp") << "new";
  std::ofstream(root_ / "d/Tarnwick/a.exe") << "older text";
  uint64_t size = 0;
  ASSERT_TRUE(utility::ufile::fileSize(at(L"D:\\Tarnwick\\a.exe"), size));
  EXPECT_EQ(size, 10u);
  EXPECT_FALSE(utility::ufile::moveFile(at(L"D:\\Tarnwick\\a.tmp"), at(L"D:\\Tarnwick\\a.exe"), 2));
  EXPECT_TRUE(utility::ufile::moveFile(at(L"D:\\Tarnwick\\a.tmp"), at(L"D:\\Tarnwick\\a.exe"), 3));
  ASSERT_TRUE(utility::ufile::fileSize(at(L"D:\\Tarnwick\\a.exe"), size));
  EXPECT_EQ(size, 3u);
  EXPECT_FALSE(utility::ufile::exists(at(L"D:\\Tarnwick\\a.tmp")));

  EXPECT_TRUE(utility::ufile::removeFile(at(L"D:\\Tarnwick\\a.exe")));
  EXPECT_FALSE(utility::ufile::removeFile(at(L"D:\\Tarnwick\\a.exe")));
  EXPECT_FALSE(utility::ufile::fileSize(at(L"D:\\Tarnwick\\a.exe"), size));
  EXPECT_FALSE(utility::ufile::exists(L"Q:\\unknown\\drive"));

  // A file where a folder should be is a failure, not success.
  std::ofstream(root_ / "c/blocker") << "x";
  EXPECT_FALSE(utility::ufile::makeDir(at(L"C:\\blocker\\sub")));
  EXPECT_FALSE(utility::ufile::makeDir(at(L"C:\\blocker")));
  // A folder has no size; a file has, and its content reads back whole within the limit only.
  EXPECT_FALSE(utility::ufile::fileSize(at(L"D:\\Tarnwick"), size));
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(utility::ufile::readFile(at(L"C:\\blocker"), 1, bytes));
  EXPECT_EQ(bytes, std::vector<uint8_t>{'x'});
  EXPECT_FALSE(utility::ufile::readFile(at(L"C:\\blocker"), 0, bytes));
  EXPECT_TRUE(bytes.empty());
  EXPECT_FALSE(utility::ufile::readFile(at(L"D:\\Tarnwick"), 100, bytes));
}

// A move across volumes copies: the target gets the source's bytes under its name only once
// whole, and nothing is left beside it, whether the copy succeeds or not.
TEST_F(UFileOnDisk, CopyingMoveTakesTheNameOnlyWhenWhole) {
  utility::ufile::setAlwaysCopyOnMoveForTesting(true);
  const std::string payload(200000, 'p');  // more than one copy buffer
  fs::create_directories(root_ / "d/dl");
  for (const bool targetExists : {false, true}) {
    SCOPED_TRACE(targetExists);
    std::ofstream(root_ / "c/setup.tmp", std::ios::binary) << payload;
    if (targetExists) std::ofstream(root_ / "d/dl/setup.exe", std::ios::binary | std::ios::trunc) << "old";
    ASSERT_TRUE(utility::ufile::moveFile(at(L"C:\\setup.tmp"), at(L"D:\\dl\\setup.exe"), 3));
    EXPECT_FALSE(fs::exists(root_ / "c/setup.tmp"));
    EXPECT_TRUE(readFile(root_ / "d/dl/setup.exe") == payload);
    EXPECT_EQ(namesIn(root_ / "d/dl"), std::set<std::string>{"setup.exe"});
  }

  // Failures: nothing new in the target folder, the target and the source as they were.
  std::ofstream(root_ / "d/dl/setup.exe", std::ios::binary | std::ios::trunc) << "current";
  std::ofstream(root_ / "c/next.tmp") << "next";
  fs::create_directory(root_ / "c/folder");
  struct Failure {
    const wchar_t* from;
    const wchar_t* to;
    unsigned flags;
  };
  const Failure failures[] = {
      {L"C:\\next.tmp", L"D:\\dl\\setup.exe", 1},  // copying not allowed
      {L"C:\\next.tmp", L"D:\\dl\\setup.exe", 2},  // target exists, no replace
      {L"C:\\folder", L"D:\\dl\\setup.exe", 3},
      {L"C:\\missing", L"D:\\dl\\setup.exe", 3},
      {L"C:\\next.tmp", L"D:\\no\\folder\\setup.exe", 3},
  };
  for (const Failure& f : failures) {
    SCOPED_TRACE(utility::wideToUtf8(f.from) + " -> " + utility::wideToUtf8(f.to));
    EXPECT_FALSE(utility::ufile::moveFile(at(f.from), at(f.to), f.flags));
    EXPECT_EQ(namesIn(root_ / "d/dl"), std::set<std::string>{"setup.exe"});
    EXPECT_EQ(readFile(root_ / "d/dl/setup.exe"), "current");
    EXPECT_EQ(readFile(root_ / "c/next.tmp"), "next");
  }
  EXPECT_EQ(namesIn(root_ / "d"), std::set<std::string>{"dl"});
  utility::ufile::setAlwaysCopyOnMoveForTesting(false);
}

// A file written under a temporary name before it takes its own: the temporary name can be
// made whenever the final one can, whatever the characters' sizes.
TEST_F(UFileOnDisk, TemporaryNamesFitWheneverTheFinalNameFits) {
  const std::pair<const wchar_t*, size_t> pieces[] = {{L"a", 1}, {L"\u00e9", 2}, {L"\u6e38", 3}, {L"\U0001F3AE", 4}};
  for (const auto& [piece, size] : pieces) {
    for (size_t bytes = 230; bytes <= 255; ++bytes) {
      std::wstring name;
      ASSERT_EQ(utility::ufile::utf8Length(piece), size);
      while (utility::ufile::utf8Length(name) + size <= bytes) name += piece;
      name = std::wstring(bytes - utility::ufile::utf8Length(name), L'x') + name;  // exactly |bytes| bytes
      ASSERT_EQ(utility::ufile::utf8Length(name), bytes);
      const std::wstring target = at(L"C:\\") + name;
      const std::wstring part = utility::ufile::temporaryNameFor(target, L".download");
      SCOPED_TRACE(utility::wideToUtf8(part));
      EXPECT_NE(part, target);
      EXPECT_TRUE(part.ends_with(L".download"));
      EXPECT_TRUE(part.starts_with(at(L"C:\\")));
      // Never half a character: no high surrogate is left without its pair.
      const auto last = static_cast<uint32_t>(part[part.size() - std::wstring(L".download").size() - 1]);
      EXPECT_FALSE(last >= 0xD800 && last <= 0xDBFF);
      EXPECT_LE(utility::ufile::utf8Length(utility::ufile::fileName(part, true)), 255u);
      EXPECT_LE(fs::path(utility::toHostPath(part)).filename().u8string().size(), 255u);
      utility::FileHandle file;
      EXPECT_TRUE(file.open(part)) << "the temporary file cannot be made";
      file.close();
      EXPECT_TRUE(utility::ufile::removeFile(part));
    }
  }
  // Short names keep their whole name in front.
  EXPECT_EQ(utility::ufile::temporaryNameFor(L"C:\\data\\Demo.ico", L".download"), L"C:\\data\\Demo.ico.download");
}

TEST_F(UFileOnDisk, FileHandleReplacesAndWritesWholeCounts) {
  std::ofstream(root_ / "c/dl.part") << "previous content that is long";
  utility::FileHandle file;
  ASSERT_TRUE(file.open(at(L"C:\\dl.part")));
  EXPECT_TRUE(file.write("abc", 3));
  file.close();
  uint64_t size = 0;
  ASSERT_TRUE(utility::ufile::fileSize(at(L"C:\\dl.part"), size));
  EXPECT_EQ(size, 3u);
  EXPECT_FALSE(file.write("x", 1));
  EXPECT_FALSE(file.open(at(L"C:\\no\\such\\folder\\f")));
  // A folder at the name is refused and left as it is; nothing is left beside it.
  fs::create_directory(root_ / "c/folder.part");
  int error = 0;
  EXPECT_FALSE(file.open(at(L"C:\\folder.part"), error));
  EXPECT_EQ(error, utility::FileHandle::kErrorAccessDenied);
  EXPECT_TRUE(fs::is_directory(root_ / "c/folder.part"));
  EXPECT_EQ(namesIn(root_ / "c"), (std::set<std::string>{"dl.part", "folder.part"}));
}

}  // namespace
