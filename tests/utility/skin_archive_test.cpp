#include "utility/skin/skin_archive.h"

#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"
#include "tests/support/test_fs.h"
#include "utility/system/drive_table.h"
#include "utility/skin/resources.h"
#include "utility/base/strings.h"

namespace utility {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

Bytes toBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes readHostFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

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

uint32_t crc32Of(const Bytes& bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (const uint8_t b : bytes) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void putLittleEndian(Bytes& out, uint64_t value, int count) {
  for (int i = 0; i < count; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// A 7z number: one byte below 0x80, else 0xFF and eight bytes.
void put7zNumber(Bytes& out, uint64_t value) {
  if (value < 0x80) {
    out.push_back(static_cast<uint8_t>(value));
  } else {
    out.push_back(0xFF);
    putLittleEndian(out, value, 8);
  }
}

// A 7z archive written by hand with a plain header: one file |name| whose stored (uncompressed)
// bytes are |data| while the header claims |declaredSize| bytes.
Bytes makeStored7z(const std::string& name, const Bytes& data, uint64_t declaredSize) {
  Bytes header = {0x01, 0x04, 0x06, 0x00, 0x01, 0x09};  // header, streams, pack info at 0, one stream
  put7zNumber(header, data.size());
  header.insert(header.end(), {0x00, 0x07, 0x0B, 0x01, 0x00, 0x01, 0x01, 0x00, 0x0C});  // one copy folder
  put7zNumber(header, declaredSize);
  header.insert(header.end(), {0x00, 0x08, 0x00, 0x00, 0x05, 0x01, 0x11});  // one file per folder; names
  put7zNumber(header, 1 + 2 * (name.size() + 1));
  header.push_back(0x00);
  for (const char c : name) putLittleEndian(header, static_cast<uint8_t>(c), 2);
  header.insert(header.end(), {0x00, 0x00, 0x00, 0x00});  // name end, end of files, end of header
  Bytes start;
  putLittleEndian(start, data.size(), 8);
  putLittleEndian(start, header.size(), 8);
  putLittleEndian(start, crc32Of(header), 4);
  Bytes archive = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C, 0x00, 0x04};
  putLittleEndian(archive, crc32Of(start), 4);
  archive.insert(archive.end(), start.begin(), start.end());
  archive.insert(archive.end(), data.begin(), data.end());
  archive.insert(archive.end(), header.begin(), header.end());
  return archive;
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

// The folder the build packs: skin/ as it is, with the images drawn from skin_src/.
const fs::path kSkinSource = fs::path(TARNWICK_SKIN_STAGE);

std::span<const uint8_t> skinResource() {
  return findResource(SkinArchive::kResourceType, SkinArchive::kResourceId);
}

TEST(ResourcesTest, SkinArchiveIsLinkedAsZipres129) {
  const std::span<const uint8_t> data = skinResource();
  ASSERT_GT(data.size(), 32u);
  const uint8_t signature[] = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C};
  EXPECT_EQ(std::memcmp(data.data(), signature, sizeof(signature)), 0);
  EXPECT_EQ(data.size(), fs::file_size(TARNWICK_SKIN_ARCHIVE));
  EXPECT_TRUE(findResource(L"zipres", 129).empty());  // types are case-sensitive
  EXPECT_TRUE(findResource(L"ZIPRES", 130).empty());
  EXPECT_TRUE(findResource(L"TXT", 0).empty());

  const uint8_t bytes[] = {1, 2, 3};
  registerResourceForTesting(L"TXT", 0, bytes);
  ASSERT_EQ(findResource(L"TXT", 0).size(), 3u);
  EXPECT_EQ(findResource(L"TXT", 0)[2], 3);
  unregisterResourceForTesting(L"TXT", 0);
  EXPECT_TRUE(findResource(L"TXT", 0).empty());
}

TEST(SkinArchiveTest, UnpacksEveryFileOfTheSkinFolder) {
  SkinArchive archive;
  ASSERT_TRUE(archive.loadFromMemory(skinResource()));
  std::map<std::wstring, Bytes> expected;
  for (const auto& entry : fs::recursive_directory_iterator(kSkinSource)) {
    if (!entry.is_regular_file() || entry.file_size() == 0) continue;
    expected[utf8ToWide(fs::relative(entry.path(), kSkinSource).generic_string())] =
        readHostFile(entry.path());
  }
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(archive.fileCount(), expected.size());
  for (const auto& [path, bytes] : expected) {
    EXPECT_EQ(archive.loadFile(path), bytes) << wideToUtf8(path);
  }
  EXPECT_TRUE(archive.contains(L"multi_language.tsv"));
  EXPECT_TRUE(archive.contains(L"language/downloader_en.xml"));
}

TEST(SkinArchiveTest, FoldersAndEmptyFilesAreNotStored) {
  const Bytes data = make7z({{"common/", {}},
                             {"common/a.xml", toBytes("<a/>")},
                             {"empty.txt", {}},
                             {"b.png", toBytes("PNG")},
                             {"b.png", toBytes("PNG2")}});
  SkinArchive archive;
  ASSERT_TRUE(archive.loadFromMemory(data));
  EXPECT_EQ(archive.paths(), (std::vector<std::wstring>{L"b.png", L"common/a.xml"}));
  EXPECT_EQ(archive.loadFile(L"b.png"), toBytes("PNG2"));  // a later entry replaces
  EXPECT_TRUE(archive.loadFile(L"empty.txt").empty());
  EXPECT_TRUE(archive.loadFile(L"common").empty());
}

TEST(SkinArchiveTest, LookupsMapBackslashesAndAreCaseSensitive) {
  SkinArchive archive;
  ASSERT_TRUE(archive.loadFromMemory(skinResource()));
  const Bytes bundle = archive.loadFile(L"language/downloader_en.xml");
  ASSERT_FALSE(bundle.empty());
  struct Case {
    const wchar_t* path;
    bool found;
  } cases[] = {
      {L"language/downloader_en.xml", true},
      {L"language\\downloader_en.xml", true},
      {L"Language/downloader_en.xml", false},
      {L"language/Downloader_en.xml", false},
      {L"language/downloader_en.XML", false},
      {L"/language/downloader_en.xml", false},
      {L"language", false},
      {L"", false},
  };
  for (const Case& c : cases) {
    const Bytes bytes = archive.loadFile(c.path);
    EXPECT_EQ(!bytes.empty(), c.found) << wideToUtf8(c.path);
    if (c.found) {
      EXPECT_EQ(bytes, bundle);
    }
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

TEST(SkinArchiveTest, RecordedSizesBeyondTheDataFailCleanly) {
  const Bytes data = toBytes("stored bytes");
  SkinArchive honest;
  ASSERT_TRUE(honest.loadFromMemory(makeStored7z("a.xml", data, data.size())));
  EXPECT_EQ(honest.loadFile(L"a.xml"), data);
  // A header that claims far more than the archive holds (or memory allows) is a damaged
  // archive, not a reason to reserve the claim.
  for (const uint64_t claimed : {uint64_t{data.size() + 1}, uint64_t{1} << 40, uint64_t{INT64_MAX}}) {
    SCOPED_TRACE(claimed);
    SkinArchive archive;
    EXPECT_FALSE(archive.loadFromMemory(makeStored7z("a.xml", data, claimed)));
    EXPECT_EQ(archive.fileCount(), 0u);
  }
}

// Every file kept from a damaged archive must be byte-identical to the original.
void expectSubsetOf(const SkinArchive& damaged, const SkinArchive& original) {
  for (const std::wstring& path : damaged.paths()) {
    ASSERT_TRUE(original.contains(path)) << wideToUtf8(path);
    EXPECT_EQ(damaged.loadFile(path), original.loadFile(path)) << wideToUtf8(path);
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

TEST(SkinArchiveTest, NoSingleFlippedByteCrashesOrCorrupts) {
  const std::span<const uint8_t> resource = skinResource();
  const Bytes data(resource.begin(), resource.end());
  SkinArchive original;
  ASSERT_TRUE(original.loadFromMemory(data));
  const size_t step = std::max<size_t>(1, data.size() / 300);
  for (size_t at = 0; at < data.size(); at += step) {
    Bytes damaged = data;
    damaged[at] ^= 0xFF;
    SkinArchive archive;
    archive.loadFromMemory(damaged);
    expectSubsetOf(archive, original);
  }
  // Truncated copies as well.
  for (size_t keep : {size_t{0}, size_t{6}, size_t{32}, data.size() / 2, data.size() - 1}) {
    SkinArchive archive;
    EXPECT_FALSE(archive.loadFromMemory(std::span<const uint8_t>(data.data(), keep)));
    expectSubsetOf(archive, original);
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
