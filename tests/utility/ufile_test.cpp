#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/utility/test_fs.h"
#include "utility/drive_table.h"
#include "utility/strings.h"
#include "utility/ufile.h"

namespace fs = std::filesystem;

namespace {

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

class UFileOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("ufile-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                         "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_ / "c");
    fs::create_directories(root_ / "d");
    utility::setDriveTableForTesting({{L'C', (root_ / "c").string(), {}, {}}, {L'D', (root_ / "d").string(), {}, {}}});
  }
  void TearDown() override {
    utility::setDriveTableForTesting({});
    fs::remove_all(root_);
  }
  fs::path root_;
};

TEST_F(UFileOnDisk, FolderCreationMoveRemoveAndSizes) {
  EXPECT_TRUE(utility::ufile::makeDir(L"D:\\Tarnwick\\Tarnwick9\\"));
  EXPECT_TRUE(fs::is_directory(root_ / "d/Tarnwick/Tarnwick9"));
  EXPECT_TRUE(utility::ufile::makeDir(L"D:\\Tarnwick\\Tarnwick9"));  // already there
  EXPECT_TRUE(utility::ufile::exists(L"d:\\tarnwick") == fs::exists(root_ / "d/tarnwick"));

  std::ofstream(root_ / "d/Tarnwick/a.tmp") << "new";
  std::ofstream(root_ / "d/Tarnwick/a.exe") << "older text";
  uint64_t size = 0;
  ASSERT_TRUE(utility::ufile::fileSize(L"D:\\Tarnwick\\a.exe", size));
  EXPECT_EQ(size, 10u);
  EXPECT_FALSE(utility::ufile::moveFile(L"D:\\Tarnwick\\a.tmp", L"D:\\Tarnwick\\a.exe", 2));
  EXPECT_TRUE(utility::ufile::moveFile(L"D:\\Tarnwick\\a.tmp", L"D:\\Tarnwick\\a.exe", 3));
  ASSERT_TRUE(utility::ufile::fileSize(L"D:\\Tarnwick\\a.exe", size));
  EXPECT_EQ(size, 3u);
  EXPECT_FALSE(utility::ufile::exists(L"D:\\Tarnwick\\a.tmp"));

  EXPECT_TRUE(utility::ufile::removeFile(L"D:\\Tarnwick\\a.exe"));
  EXPECT_FALSE(utility::ufile::removeFile(L"D:\\Tarnwick\\a.exe"));
  EXPECT_FALSE(utility::ufile::fileSize(L"D:\\Tarnwick\\a.exe", size));
  EXPECT_FALSE(utility::ufile::exists(L"Q:\\unknown\\drive"));

  // A file where a folder should be is a failure, not success.
  std::ofstream(root_ / "c/blocker") << "x";
  EXPECT_FALSE(utility::ufile::makeDir(L"C:\\blocker\\sub"));
}

// Only regular files have a size; nothing here may block (a FIFO is never opened).
TEST_F(UFileOnDisk, FileSizeOfEachKindOfEntry) {
  std::ofstream(root_ / "c/file.bin", std::ios::binary) << std::string(1234, 'z');
  std::ofstream(root_ / "c/empty.bin", std::ios::binary);
  fs::create_directory(root_ / "c/folder");
  ASSERT_TRUE(testfs::makeFifo((root_ / "c/fifo").string()));
  fs::create_symlink(root_ / "c/file.bin", root_ / "c/link");
  struct Case {
    const wchar_t* path;
    bool ok;
    uint64_t size;
  };
  const Case cases[] = {
      {L"C:\\file.bin", true, 1234}, {L"C:\\empty.bin", true, 0}, {L"C:\\link", true, 1234},
      {L"C:\\folder", false, 0},     {L"C:\\fifo", false, 0},     {L"C:\\missing", false, 0},
      {L"Q:\\unknown", false, 0},
  };
  for (const Case& c : cases) {
    uint64_t size = 777;
    EXPECT_EQ(utility::ufile::fileSize(c.path, size), c.ok) << utility::wideToUtf8(c.path);
    EXPECT_EQ(size, c.ok ? c.size : 777u) << utility::wideToUtf8(c.path);  // untouched on failure
  }
}

TEST_F(UFileOnDisk, FileHandleReplacesAndWritesWholeCounts) {
  std::ofstream(root_ / "c/dl.part") << "previous content that is long";
  utility::FileHandle file;
  ASSERT_TRUE(file.open(L"C:\\dl.part"));
  EXPECT_TRUE(file.write("abc", 3));
  file.close();
  uint64_t size = 0;
  ASSERT_TRUE(utility::ufile::fileSize(L"C:\\dl.part", size));
  EXPECT_EQ(size, 3u);
  EXPECT_FALSE(file.write("x", 1));
  EXPECT_FALSE(file.open(L"C:\\no\\such\\folder\\f"));
}

}  // namespace
