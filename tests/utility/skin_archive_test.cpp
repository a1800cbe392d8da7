// The skin archive and the resources linked into the program, on every platform: the real
// packed skin as the build embeds it, and archives written by hand.
#include "utility/skin/skin_archive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "tests/utility/seven_zip_fixture.h"
#include "utility/base/strings.h"
#include "utility/skin/resources.h"
#include "utility/skin/skin_archive_7z.h"
#include "utility/system/log.h"

namespace utility {
namespace {

namespace fs = std::filesystem;
using testsupport::Bytes;
using testsupport::makeStored7z;

Bytes toBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes readHostFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

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
  const Bytes data = makeStored7z({{"common/", {}},
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

TEST(SkinArchiveTest, RecordedSizesBeyondTheDataFailCleanly) {
  const Bytes data = toBytes("stored bytes");
  SkinArchive honest;
  ASSERT_TRUE(honest.loadFromMemory(makeStored7z({{"a.xml", data, false}})));
  EXPECT_EQ(honest.loadFile(L"a.xml"), data);
  // A header that claims far more than the archive holds (or memory allows) is a damaged
  // archive, not a reason to reserve the claim.
  for (const uint64_t claimed : {uint64_t{data.size() + 1}, uint64_t{1} << 40, uint64_t{INT64_MAX}}) {
    SCOPED_TRACE(claimed);
    SkinArchive archive;
    EXPECT_FALSE(archive.loadFromMemory(makeStored7z({{"a.xml", data, false, claimed}})));
    EXPECT_EQ(archive.fileCount(), 0u);
  }
}

TEST(SkinArchiveTest, CrcMismatchStopsAtTheFileAndKeepsWhatCameBefore) {
  const Bytes good = makeStored7z({{"a.xml", toBytes("first")}, {"b.xml", toBytes("second")},
                                   {"c.xml", toBytes("third")}});
  // The stored data starts after the 32-byte signature header: "firstsecondthird".
  struct Case {
    size_t at;  // offset of the flipped byte in the stored data
    std::vector<std::wstring> kept;
  } cases[] = {
      {0, {}},
      {5, {L"a.xml"}},
      {12, {L"a.xml", L"b.xml"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.at);
    Bytes damaged = good;
    damaged[32 + c.at] ^= 0x20;
    SkinArchive archive;
    EXPECT_FALSE(archive.loadFromMemory(damaged));
    EXPECT_EQ(archive.paths(), c.kept);
  }
  // A file without a recorded CRC32 is taken as it comes.
  Bytes unchecked = makeStored7z({{"a.xml", toBytes("first"), false}});
  unchecked[32] ^= 0x20;
  SkinArchive archive;
  EXPECT_TRUE(archive.loadFromMemory(unchecked));
  EXPECT_EQ(archive.loadFile(L"a.xml"), toBytes("First"));
}

TEST(SkinArchiveTest, LimitsRefuseHostileArchives) {
  std::vector<testsupport::SevenZipEntry> entries = {{"dir/", {}}, {"a", toBytes("1234")}, {"b", toBytes("5678")},
                                                     {"empty", {}}, {"c", toBytes("90")}};
  const Bytes data = makeStored7z(entries);
  struct Case {
    SevenZipLimits limits;
    SevenZipResult result;
    size_t handed;
  } cases[] = {
      {{5, 10}, SevenZipResult::ok, 3},
      {{4, 10}, SevenZipResult::tooManyEntries, 2},  // every entry counts, folders too
      {{1, 10}, SevenZipResult::tooManyEntries, 0},
      {{5, 9}, SevenZipResult::tooLarge, 2},
      {{5, 7}, SevenZipResult::tooLarge, 1},
      {{5, 0}, SevenZipResult::tooLarge, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.limits.maxEntries << " entries, " << c.limits.maxUnpackedBytes << " bytes");
    size_t handed = 0;
    EXPECT_EQ(unpack7z(data, [&](std::wstring, std::vector<uint8_t>) { ++handed; }, c.limits), c.result);
    EXPECT_LE(handed, c.handed);
    if (c.result == SevenZipResult::ok) {
      EXPECT_EQ(handed, c.handed);
    }
  }
  // The skin itself stays far inside the default limits.
  EXPECT_EQ(unpack7z(skinResource(), [](std::wstring, std::vector<uint8_t>) {}), SevenZipResult::ok);
}

// The log lines of this test's thread (other threads may log through the same hook).
std::mutex gLogLock;
std::vector<std::wstring> gLogLines;

void captureLog(const char* function, int, const wchar_t* text) {
  std::lock_guard<std::mutex> hold(gLogLock);
  gLogLines.push_back(utf8ToWide(function) + L": " + text);
}

TEST(SkinArchiveTest, ARefusedArchiveSaysWhyInTheLog) {
  std::vector<testsupport::SevenZipEntry> many;
  for (int i = 0; i < 10001; ++i) many.push_back({"f" + std::to_string(i)});  // empty files
  Bytes corrupt = makeStored7z({{"a.xml", toBytes("first")}, {"b.xml", toBytes("second")}});
  corrupt[32 + 6] ^= 0x20;
  struct Case {
    const char* label;
    Bytes archive;
    std::wstring line;  // empty: nothing logged
  } cases[] = {
      {"whole", makeStored7z({{"a.xml", toBytes("first")}}), L""},
      {"damaged", corrupt, L"utility::SkinArchive::loadFromMemory: skin archive damaged, 1 files kept"},
      {"not an archive", toBytes("not a 7z archive at all, just text"),
       L"utility::SkinArchive::loadFromMemory: skin archive damaged, 0 files kept"},
      {"too many entries", makeStored7z(many),
       L"utility::SkinArchive::loadFromMemory: skin archive refused: more than 10000 entries, 0 files kept"},
      {"too large", makeStored7z({{"big", Bytes(1, 'x'), false, uint64_t{1} << 30}}),
       L"utility::SkinArchive::loadFromMemory: skin archive refused: more than 67108864 bytes unpacked, 0 files "
       L"kept"},
  };
  common::setLogHook(&captureLog);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    {
      std::lock_guard<std::mutex> hold(gLogLock);
      gLogLines.clear();
    }
    SkinArchive archive;
    EXPECT_EQ(archive.loadFromMemory(c.archive), c.line.empty());
    std::lock_guard<std::mutex> hold(gLogLock);
    if (c.line.empty()) {
      EXPECT_TRUE(gLogLines.empty());
    } else {
      EXPECT_EQ(gLogLines, std::vector<std::wstring>{c.line});
    }
  }
  common::setLogHook(nullptr);
}

// Every file kept from a damaged archive must be byte-identical to the original.
void expectSubsetOf(const SkinArchive& damaged, const SkinArchive& original) {
  for (const std::wstring& path : damaged.paths()) {
    ASSERT_TRUE(original.contains(path)) << wideToUtf8(path);
    EXPECT_EQ(damaged.loadFile(path), original.loadFile(path)) << wideToUtf8(path);
  }
}

TEST(SkinArchiveTest, DamagedSkinKeepsWhatCameBefore) {
  // The skin is one solid LZMA2 block: damage late in it keeps the files decoded before it.
  const std::span<const uint8_t> resource = skinResource();
  const Bytes data(resource.begin(), resource.end());
  SkinArchive original;
  ASSERT_TRUE(original.loadFromMemory(data));
  std::vector<std::wstring> order;  // the archive's own order
  ASSERT_EQ(unpack7z(data, [&](std::wstring path, std::vector<uint8_t>) { order.push_back(path); }),
            SevenZipResult::ok);
  ASSERT_EQ(order.size(), original.fileCount());

  Bytes damaged = data;
  damaged[32 + (data.size() - 32) * 8 / 10] ^= 0x5A;
  std::vector<std::wstring> kept;
  EXPECT_EQ(unpack7z(damaged, [&](std::wstring path, std::vector<uint8_t>) { kept.push_back(path); }),
            SevenZipResult::damaged);
  EXPECT_GT(kept.size(), 0u);
  EXPECT_LT(kept.size(), order.size());
  EXPECT_TRUE(std::equal(kept.begin(), kept.end(), order.begin())) << "not a prefix of the archive order";
  SkinArchive partial;
  EXPECT_FALSE(partial.loadFromMemory(damaged));
  expectSubsetOf(partial, original);
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

}  // namespace
}  // namespace utility
