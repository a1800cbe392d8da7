// File utilities where the drive letters are folders: links, FIFOs, permission bits, inherited
// descriptors and the system's error numbers.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"
#include "tests/support/test_fs.h"
#include "utility/base/strings.h"
#include "utility/system/drive_table.h"
#include "utility/system/log.h"
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
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

class UFileOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = temp_.path();
    fs::create_directories(root_ / "c");
    fs::create_directories(root_ / "d");
    utility::setDriveTableForTesting({{L'C', (root_ / "c").string(), {}, {}}, {L'D', (root_ / "d").string(), {}, {}}});
  }
  void TearDown() override {
    utility::setDriveTableForTesting({});
  }
  // On C: one entry of each kind: file.bin holding |bytes|, empty.bin, folder, fifo, and link
  // (to file.bin).
  bool makeOneOfEachKind(const std::string& bytes) {
    std::ofstream(root_ / "c/file.bin", std::ios::binary) << bytes;
    std::ofstream(root_ / "c/empty.bin", std::ios::binary);
    fs::create_directory(root_ / "c/folder");
    fs::create_symlink(root_ / "c/file.bin", root_ / "c/link");
    return testfs::makeFifo((root_ / "c/fifo").string());
  }
  testsupport::TempFolder temp_{"ufile"};
  fs::path root_;
};

std::vector<std::wstring> gMakeDirLog;
void captureMakeDirLog(const char* function, int, const wchar_t* text) {
  gMakeDirLog.push_back(utility::utf8ToWide(function) + L": " + text);
}

// makeDir succeeds when a folder is there afterwards: an existing folder (or a link to one) is
// success without a record; a file, FIFO or dangling link in the way is a failure with the
// record and ENOTDIR, never "already exists".
TEST_F(UFileOnDisk, MakeDirOnWhatIsAlreadyThere) {
  ASSERT_TRUE(makeOneOfEachKind("data"));
  fs::create_directory_symlink(root_ / "c/folder", root_ / "c/folderlink");
  fs::create_symlink(root_ / "c/nowhere", root_ / "c/dangling");
  const std::wstring notAFolder = L"utility::ufile::makeDir: make dir failed! error = 20.";
  struct Case {
    const wchar_t* path;
    bool made;
    const wchar_t* logged;  // null: nothing
  };
  const Case cases[] = {
      {L"C:\\folder", true, nullptr},
      {L"C:\\folderlink", true, nullptr},
      {L"C:\\folder\\new\\deeper", true, nullptr},
      {L"C:\\file.bin", false, notAFolder.c_str()},
      {L"C:\\empty.bin\\", false, notAFolder.c_str()},
      {L"C:\\fifo", false, notAFolder.c_str()},
      {L"C:\\link", false, notAFolder.c_str()},  // a link to a file
      {L"C:\\dangling", false, notAFolder.c_str()},
      {L"C:\\dangling\\sub", false, L"utility::ufile::makeDir: make dir failed! error = 2."},
  };
  for (const Case& c : cases) {
    gMakeDirLog.clear();
    common::setLogHook(captureMakeDirLog);
    const bool made = utility::ufile::makeDir(c.path);
    common::setLogHook(nullptr);
    EXPECT_EQ(made, c.made) << c.path;
    if (c.logged == nullptr) {
      EXPECT_TRUE(gMakeDirLog.empty()) << c.path;
    } else {
      EXPECT_EQ(gMakeDirLog, std::vector<std::wstring>{c.logged}) << c.path;
    }
  }
  EXPECT_TRUE(fs::is_directory(root_ / "c/folder/new/deeper"));
  EXPECT_TRUE(fs::is_regular_file(root_ / "c/file.bin"));
}

// Only regular files have a size; nothing here may block (a FIFO is never opened).
TEST_F(UFileOnDisk, FileSizeOfEachKindOfEntry) {
  ASSERT_TRUE(makeOneOfEachKind(std::string(1234, 'z')));
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

// Whole-file reads: regular files up to the limit only; nothing here may block.
TEST_F(UFileOnDisk, ReadFileOfEachKindOfEntry) {
  ASSERT_TRUE(makeOneOfEachKind("twelve bytes"));
  struct Case {
    const wchar_t* path;
    uint64_t limit;
    bool ok;
    const char* bytes;
  };
  const Case cases[] = {
      {L"C:\\file.bin", 12, true, "twelve bytes"}, {L"C:\\file.bin", 11, false, ""},
      {L"C:\\link", 100, true, "twelve bytes"},    {L"C:\\empty.bin", 100, true, ""},
      {L"C:\\folder", UINT64_MAX, false, ""},      {L"C:\\fifo", UINT64_MAX, false, ""},
      {L"C:\\missing", 100, false, ""},            {L"Q:\\unknown", 100, false, ""},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = {1, 2, 3};
    EXPECT_EQ(utility::ufile::readFile(c.path, c.limit, bytes), c.ok) << utility::wideToUtf8(c.path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), c.bytes) << utility::wideToUtf8(c.path);
  }
}

// A move across volumes copies: the target gets the source's bytes and permission bits, and no
// temporary file is left beside it, whether the copy succeeds or not.
TEST_F(UFileOnDisk, CopyingMoveKeepsModeAndLeavesNothingBehind) {
  utility::ufile::setAlwaysCopyOnMoveForTesting(true);
  struct Case {
    fs::perms mode;
    bool targetExists;
  };
  const Case cases[] = {
      {fs::perms::owner_read | fs::perms::owner_write, false},
      {fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec, true},
      {fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
           fs::perms::others_exec,
       false},
  };
  const std::string payload(200000, 'p');  // more than one copy buffer
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.mode));
    fs::remove_all(root_ / "d/dl");
    fs::create_directories(root_ / "d/dl");
    std::ofstream(root_ / "c/setup.tmp", std::ios::binary) << payload;
    fs::permissions(root_ / "c/setup.tmp", c.mode);
    if (c.targetExists) std::ofstream(root_ / "d/dl/setup.exe") << "old";
    ASSERT_TRUE(utility::ufile::moveFile(L"C:\\setup.tmp", L"D:\\dl\\setup.exe", 3));
    EXPECT_FALSE(fs::exists(root_ / "c/setup.tmp"));
    EXPECT_TRUE(readFile(root_ / "d/dl/setup.exe") == payload);
    EXPECT_EQ(fs::status(root_ / "d/dl/setup.exe").permissions(), c.mode);
    EXPECT_EQ(namesIn(root_ / "d/dl"), std::set<std::string>{"setup.exe"});
  }

  // Failures: nothing new in the target folder, the target and the source as they were.
  std::ofstream(root_ / "d/dl/setup.exe", std::ios::binary | std::ios::trunc) << "current";
  std::ofstream(root_ / "c/next.tmp") << "next";
  fs::create_directory(root_ / "c/folder");
  ASSERT_TRUE(testfs::makeFifo((root_ / "c/fifo").string()));
  fs::create_symlink(root_ / "c/next.tmp", root_ / "c/link");
  struct Failure {
    const wchar_t* from;
    const wchar_t* to;
    unsigned flags;
  };
  const Failure failures[] = {
      {L"C:\\next.tmp", L"D:\\dl\\setup.exe", 1},  // copying not allowed
      {L"C:\\next.tmp", L"D:\\dl\\setup.exe", 2},  // target exists, no replace
      {L"C:\\folder", L"D:\\dl\\setup.exe", 3},
      {L"C:\\fifo", L"D:\\dl\\setup.exe", 3},       // must not wait for a writer either
      {L"C:\\link", L"D:\\dl\\setup.exe", 3},
      {L"C:\\missing", L"D:\\dl\\setup.exe", 3},
      {L"C:\\next.tmp", L"D:\\no\\folder\\setup.exe", 3},
      {L"/proc/self/mem", L"D:\\dl\\setup.exe", 3},  // opens, then fails to read
  };
  for (const Failure& f : failures) {
    SCOPED_TRACE(utility::wideToUtf8(f.from) + " -> " + utility::wideToUtf8(f.to));
    EXPECT_FALSE(utility::ufile::moveFile(f.from, f.to, f.flags));
    EXPECT_EQ(namesIn(root_ / "d/dl"), std::set<std::string>{"setup.exe"});
    EXPECT_EQ(readFile(root_ / "d/dl/setup.exe"), "current");
    EXPECT_EQ(readFile(root_ / "c/next.tmp"), "next");
  }
  EXPECT_EQ(namesIn(root_ / "d"), std::set<std::string>{"dl"});
  utility::ufile::setAlwaysCopyOnMoveForTesting(false);
}

// A download file is never opened through a link, never a FIFO or device, never inherited.
TEST_F(UFileOnDisk, FileHandleRefusesWhatIsNotAFile) {
  std::ofstream(root_ / "c/victim") << "keep me";
  fs::create_symlink(root_ / "c/victim", root_ / "c/link.part");
  fs::create_symlink(root_ / "c/created-through-link", root_ / "c/dangling.part");
  ASSERT_TRUE(testfs::makeFifo((root_ / "c/fifo.part").string()));
  fs::create_directory(root_ / "c/folder.part");
  for (const wchar_t* path : {L"C:\\link.part", L"C:\\dangling.part", L"C:\\fifo.part", L"C:\\folder.part"}) {
    utility::FileHandle file;
    EXPECT_FALSE(file.open(path)) << utility::wideToUtf8(path);
    EXPECT_FALSE(file.isOpen());
  }
  EXPECT_EQ(readFile(root_ / "c/victim"), "keep me");
  EXPECT_FALSE(fs::exists(root_ / "c/created-through-link"));

  utility::FileHandle file;
  ASSERT_TRUE(file.open(L"C:\\dl.part"));
  const testfs::OpenDescriptors open = testfs::descriptorsOn((root_ / "c/dl.part").string());
  EXPECT_EQ(open.total, 1);
  EXPECT_EQ(open.inherited, 0);
}

// A downloaded program becomes runnable for whoever may read it; nothing else is touched.
TEST_F(UFileOnDisk, SetExecutableGivesExecuteWhereReadIsAllowed) {
  ASSERT_TRUE(makeOneOfEachKind("program"));
  fs::permissions(root_ / "c/file.bin", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_TRUE(utility::ufile::setExecutable(L"C:\\file.bin"));
  EXPECT_EQ(fs::status(root_ / "c/file.bin").permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::owner_exec | fs::perms::group_read |
                fs::perms::group_exec);
  fs::permissions(root_ / "c/file.bin", fs::perms::owner_read | fs::perms::owner_write);
  for (const wchar_t* path : {L"C:\\link", L"C:\\folder", L"C:\\fifo", L"C:\\missing", L"Q:\\file.bin"}) {
    EXPECT_FALSE(utility::ufile::setExecutable(path)) << utility::wideToUtf8(path);
  }
  // The link's target was not changed through it.
  EXPECT_EQ(fs::status(root_ / "c/file.bin").permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

}  // namespace
