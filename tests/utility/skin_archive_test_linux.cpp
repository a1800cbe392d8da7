// The skin archive against the Linux file system (drive table, FIFOs) and archives made with
// libarchive's 7z writer (LZMA2, solid).
#include "utility/skin/skin_archive.h"

#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"
#include "tests/support/test_fs.h"
#include "utility/base/strings.h"
#include "utility/skin/resources.h"
#include "utility/system/drive_table.h"

namespace utility {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

Bytes toBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

void writeHostFile(const fs::path& path, const Bytes& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Builds a 7z archive in memory (LZMA2, solid) with the given entries; a path ending in "/" is
// a folder.
Bytes make7z(const std::vector<std::pair<std::string, Bytes>>& entries) {
  archive* a = archive_write_new();
  archive_write_set_format_7zip(a);
  archive_write_set_format_option(a, "7zip", "compression", "lzma2");
  std::vector<uint8_t> buffer(8 << 20);
  size_t used = 0;
  archive_write_open_memory(a, buffer.data(), buffer.size(), &used);
  for (const auto& [path, bytes] : entries) {
    archive_entry* e = archive_entry_new();
    const bool folder = !path.empty() && path.back() == '/';
    archive_entry_set_pathname(e, folder ? path.substr(0, path.size() - 1).c_str() : path.c_str());
    archive_entry_set_filetype(e, folder ? AE_IFDIR : AE_IFREG);
    archive_entry_set_perm(e, folder ? 0755 : 0644);
    archive_entry_set_size(e, folder ? 0 : static_cast<la_int64_t>(bytes.size()));
    archive_write_header(a, e);
    if (!folder && !bytes.empty()) archive_write_data(a, bytes.data(), bytes.size());
    archive_entry_free(e);
  }
  archive_write_close(a);
  archive_write_free(a);
  buffer.resize(used);
  return buffer;
}

// A fresh temporary folder that is mapped to drive D: for the test's lifetime.
class TempDrive {
 public:
  TempDrive() { setDriveTableForTesting({{L'D', root_.path().string(), "ext4", ""}}); }
  ~TempDrive() { setDriveTableForTesting({}); }
  const fs::path& root() const { return root_.path(); }

 private:
  testsupport::TempFolder root_{"tarnwick_skin"};
};

std::span<const uint8_t> skinResource() {
  return findResource(SkinArchive::kResourceType, SkinArchive::kResourceId);
}

// Every file kept from a damaged archive must be byte-identical to the original.
void expectSubsetOf(const SkinArchive& damaged, const SkinArchive& original) {
  for (const std::wstring& path : damaged.paths()) {
    ASSERT_TRUE(original.contains(path)) << wideToUtf8(path);
    EXPECT_EQ(damaged.loadFile(path), original.loadFile(path)) << wideToUtf8(path);
  }
}

TEST(SkinArchiveTest, SkinFolderOverridesSingleFiles) {
  TempDrive drive;
  SkinArchive archive;
  ASSERT_TRUE(archive.loadFromMemory(skinResource()));
  const Bytes archived = archive.loadFile(L"language\\downloader_en.xml");
  ASSERT_FALSE(archived.empty());

  archive.setSkinFolder(L"D:\\missing\\skin");
  EXPECT_EQ(archive.skinFolder(), L"");

  fs::create_directories(drive.root() / "skin");
  archive.setSkinFolder(L"D:\\skin");
  EXPECT_EQ(archive.skinFolder(), L"D:\\skin\\");
  // The folder lacks the file: the archive serves it.
  EXPECT_EQ(archive.loadFile(L"language\\downloader_en.xml"), archived);

  // A zero-length file in the folder does not count.
  writeHostFile(drive.root() / "skin/language/downloader_en.xml", {});
  EXPECT_EQ(archive.loadFile(L"language\\downloader_en.xml"), archived);

  // A real file in the folder wins, with either separator.
  writeHostFile(drive.root() / "skin/language/downloader_en.xml", toBytes("<override/>"));
  EXPECT_EQ(archive.loadFile(L"language\\downloader_en.xml"), toBytes("<override/>"));
  EXPECT_EQ(archive.loadFile(L"language/downloader_en.xml"), toBytes("<override/>"));
  // Files only on disk are served too.
  writeHostFile(drive.root() / "skin/extra.png", toBytes("IMG"));
  EXPECT_EQ(archive.loadFile(L"extra.png"), toBytes("IMG"));
  // The disk is as case-sensitive as the archive here.
  EXPECT_TRUE(archive.loadFile(L"Extra.png").empty());
}

TEST(SkinArchiveTest, DriveQualifiedPathsAreReadFromDisk) {
  TempDrive drive;
  SkinArchive archive;
  ASSERT_TRUE(archive.loadFromMemory(make7z({{"icon.png", toBytes("archived")}})));
  writeHostFile(drive.root() / "images/icon.png", toBytes("on disk"));
  EXPECT_EQ(archive.loadFile(L"D:\\images\\icon.png"), toBytes("on disk"));
  EXPECT_TRUE(archive.loadFile(L"D:\\images\\none.png").empty());
  EXPECT_TRUE(archive.loadFile(L"Q:\\icon.png").empty());  // unknown drive
  EXPECT_EQ(archive.loadFile(L"icon.png"), toBytes("archived"));
}

TEST(SkinArchiveTest, FoldersAndFifosOnDiskCountAsMissing) {
  TempDrive drive;
  SkinArchive archive;
  ASSERT_TRUE(archive.loadFromMemory(make7z({{"multi_language.tsv", toBytes("archived table")}})));
  fs::create_directories(drive.root() / "skin");
  archive.setSkinFolder(L"D:\\skin");
  ASSERT_EQ(archive.skinFolder(), L"D:\\skin\\");
  struct Case {
    const char* label;
    fs::path onDisk;
    std::wstring asked;
    bool fifo;
    std::string expected;  // what a missing file would give
  };
  const Case cases[] = {
      {"folder in the skin folder", drive.root() / "skin/multi_language.tsv", L"multi_language.tsv", false,
       "archived table"},
      {"FIFO in the skin folder", drive.root() / "skin/multi_language.tsv", L"multi_language.tsv", true,
       "archived table"},
      {"drive-qualified folder", drive.root() / "images/icon.png", L"D:\\images\\icon.png", false, ""},
      {"drive-qualified FIFO", drive.root() / "images/icon.png", L"D:\\images\\icon.png", true, ""},
      {"drive-qualified bare folder", drive.root() / "images", L"D:\\images", false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::error_code ignored;
    fs::remove_all(c.onDisk, ignored);
    fs::create_directories(c.onDisk.parent_path());
    if (c.fifo) {
      ASSERT_TRUE(testfs::makeFifo(c.onDisk.string()));
    } else {
      fs::create_directories(c.onDisk);
    }
    const Bytes bytes = archive.loadFile(c.asked);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), c.expected);
  }
}

TEST(SkinArchiveTest, DamagedArchiveKeepsWhatCameBefore) {
  // Enough files that the damage lands in the middle of the solid block.
  std::vector<std::pair<std::string, Bytes>> entries;
  std::mt19937 random(7);
  for (int i = 0; i < 40; ++i) {
    Bytes bytes(20000);
    for (auto& b : bytes) b = static_cast<uint8_t>(random());  // incompressible
    entries.push_back({"file" + std::to_string(100 + i) + ".bin", bytes});
  }
  const Bytes data = make7z(entries);
  SkinArchive original;
  ASSERT_TRUE(original.loadFromMemory(data));
  ASSERT_EQ(original.fileCount(), entries.size());

  // One flipped byte at 60 % of the packed data (which starts after the 32-byte signature
  // header): the files decoded before it stay, the rest is dropped.
  Bytes damaged = data;
  damaged[32 + (data.size() - 32) * 6 / 10] ^= 0x5A;
  SkinArchive partial;
  EXPECT_FALSE(partial.loadFromMemory(damaged));
  EXPECT_GT(partial.fileCount(), 0u);
  EXPECT_LT(partial.fileCount(), entries.size());
  expectSubsetOf(partial, original);
  // What was kept is a prefix of the archive order.
  for (size_t i = 0; i < partial.fileCount(); ++i) {
    EXPECT_TRUE(partial.contains(utf8ToWide(entries[i].first))) << entries[i].first;
  }
}

// The text table rule of start-up, with a temporary folder standing for the executable's.
class TableRuleTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(archive_.loadFromMemory(skinResource())); }

  // Runs the rule; returns the bytes handed over, or "<none>".
  std::string run() {
    std::string seen = "<none>";
    const bool handed = archive_.loadTable(L"D:\\app\\", L"multi_language.tsv",
                                           [&](std::span<const uint8_t> bytes) {
                                             seen.assign(bytes.begin(), bytes.end());
                                           });
    EXPECT_EQ(handed, seen != "<none>");
    return seen;
  }
  void putBeside(const Bytes& bytes) { writeHostFile(drive_.root() / "app/multi_language.tsv", bytes); }

  TempDrive drive_;
  SkinArchive archive_;
};

TEST_F(TableRuleTest, ArchivedTableWithoutFileBeside) {
  fs::create_directories(drive_.root() / "app");
  const Bytes archived = archive_.loadFile(L"multi_language.tsv");
  ASSERT_GT(archived.size(), 10u);
  EXPECT_EQ(run(), std::string(archived.begin(), archived.end()));
}

TEST_F(TableRuleTest, FileBesideTheExecutableDecidesAlone) {
  struct Case {
    size_t size;
    bool used;
  } cases[] = {
      {1, true},
      {100, true},
      {SkinArchive::kMaxTableFileSize, true},
      {SkinArchive::kMaxTableFileSize + 1, false},
      {5 * 1024 * 1024, false},  // the archive's table is not used either
      {0, false},
  };
  for (const Case& c : cases) {
    Bytes bytes(c.size, 'x');
    putBeside(bytes);
    const std::string seen = run();
    if (c.used) {
      EXPECT_EQ(seen.size(), c.size);
    } else {
      EXPECT_EQ(seen, "<none>") << c.size;
    }
  }
}

TEST_F(TableRuleTest, FolderOrFifoBesideTheExecutableCountsAsMissing) {
  const Bytes archived = archive_.loadFile(L"multi_language.tsv");
  ASSERT_GT(archived.size(), 10u);
  const fs::path beside = drive_.root() / "app/multi_language.tsv";
  for (const bool fifo : {false, true}) {
    SCOPED_TRACE(fifo ? "FIFO" : "folder");
    std::error_code ignored;
    fs::remove_all(beside, ignored);
    fs::create_directories(beside.parent_path());
    if (fifo) {
      ASSERT_TRUE(testfs::makeFifo(beside.string()));
    } else {
      fs::create_directories(beside);
    }
    const std::string seen = run();
    EXPECT_TRUE(seen == std::string(archived.begin(), archived.end())) << "handed over: " << seen.substr(0, 40);
  }
}

TEST_F(TableRuleTest, SmallArchivedTableIsIgnored) {
  fs::create_directories(drive_.root() / "app");
  SkinArchive tiny;
  ASSERT_TRUE(tiny.loadFromMemory(make7z({{"multi_language.tsv", toBytes("0123456789")}})));
  bool called = false;
  EXPECT_FALSE(tiny.loadTable(L"D:\\app\\", L"multi_language.tsv",
                              [&](std::span<const uint8_t>) { called = true; }));
  EXPECT_FALSE(called);
  SkinArchive eleven;
  ASSERT_TRUE(eleven.loadFromMemory(make7z({{"multi_language.tsv", toBytes("0123456789A")}})));
  EXPECT_TRUE(eleven.loadTable(L"D:\\app\\", L"multi_language.tsv",
                               [&](std::span<const uint8_t>) { called = true; }));
  EXPECT_TRUE(called);
}

TEST_F(TableRuleTest, SkinFolderTableIsUsedThroughLoadFile) {
  fs::create_directories(drive_.root() / "app/skin");
  writeHostFile(drive_.root() / "app/skin/multi_language.tsv", toBytes("from the skin folder"));
  archive_.setSkinFolder(L"D:\\app\\skin");
  EXPECT_EQ(run(), "from the skin folder");
}

}  // namespace
}  // namespace utility
