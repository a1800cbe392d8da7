// The drive rules on every system: path texts, scores, the best drive, and stated volumes.
#include <gtest/gtest.h>

#include <optional>

#include "utility/system/disk.h"
#include "utility/system/drive_table.h"
#include "utility/base/strings.h"

namespace {

TEST(DiskRules, NormalizePath) {
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {L"C:/Program Files//Foo/", L"c:\\program files\\foo"},
      {L"c:\\", L"c:"},
      {L"\\\\\\D:\\\\\\Games\\/\\Emu\\\\", L"d:\\games\\emu"},
      {L"//server/Share", L"server\\share"},
      {L"", L""},
      {L"\\/\\", L""},
      {L"D:\\ÄÖ\\X", L"d:\\ÄÖ\\x"},  // only A to Z are lowered
      {L" d:\\a ", L" d:\\a "},
  };
  for (const auto& [input, expected] : cases) {
    EXPECT_EQ(helper::disk::normalizePath(input), expected) << utility::wideToUtf8(input);
  }
}

TEST(DiskRules, WindowsFileSystemNames) {
  const std::pair<const char*, const wchar_t*> cases[] = {
      {"ext2", L"NTFS"},   {"ext3", L"NTFS"},   {"ext4", L"NTFS"},  {"xfs", L"NTFS"},
      {"btrfs", L"NTFS"},  {"f2fs", L"NTFS"},   {"vfat", L"FAT32"}, {"exfat", L"exfat"},
      {"ntfs3", L"ntfs3"}, {"tmpfs", L"tmpfs"}, {"", L""},
  };
  for (const auto& [kernel, windows] : cases)
    EXPECT_EQ(helper::disk::windowsFileSystemName(kernel), windows) << kernel;
  EXPECT_TRUE(helper::disk::isAcceptedFileSystem(L"NTFS"));
  EXPECT_TRUE(helper::disk::isAcceptedFileSystem(L"FAT32"));
  EXPECT_FALSE(helper::disk::isAcceptedFileSystem(L"ntfs"));  // case-sensitive
  EXPECT_FALSE(helper::disk::isAcceptedFileSystem(L"exfat"));
}

TEST(DiskRules, VolumeScores) {
  struct Case {
    const char* label;
    std::optional<double> freeMiB;
    std::optional<std::wstring> fileSystem;
    bool ssd;
    double score;
    bool ssdAsked;
  };
  const Case cases[] = {
      {"ssd with 20000 MiB is boosted", 20000.0, L"NTFS", true, 20000000.0, true},
      {"hard disk keeps its MiB", 900000.0, L"NTFS", false, 900000.0, true},
      {"exactly 17408 MiB is not boosted", 17408.0, L"NTFS", true, 17408.0, true},
      {"17408.9 MiB truncates to 17408", 17408.9, L"FAT32", true, 17408.9, true},
      {"17409 MiB is boosted", 17409.0, L"NTFS", true, 17409000.0, true},
      {"unreadable file system counts as accepted", 500.0, std::nullopt, false, 500.0, true},
      {"exfat scores 0", 50000.0, L"exfat", true, 0.0, false},
      {"lower-case ntfs scores 0", 50000.0, L"ntfs", true, 0.0, false},
      {"failed free-space query scores 0", std::nullopt, L"NTFS", true, 0.0, false},
  };
  for (const Case& c : cases) {
    bool asked = false;
    bool isSsd = true;  // untouched unless the disk was asked
    const double score = helper::disk::volumeScore(
        c.freeMiB, c.fileSystem,
        [&] {
          asked = true;
          return c.ssd;
        },
        isSsd);
    EXPECT_DOUBLE_EQ(score, c.score) << c.label;
    EXPECT_EQ(asked, c.ssdAsked) << c.label;
    EXPECT_EQ(isSsd, c.ssdAsked ? c.ssd : true) << c.label;
  }
}

TEST(DiskRules, BestDrive) {
  struct DriveCase {
    const wchar_t* root;
    double score;
    bool ssd;
  };
  struct Case {
    const char* label;
    std::vector<DriveCase> drives;
    const wchar_t* root;
    bool ssd;
  };
  const Case cases[] = {
      {"solid-state 20000 MiB beats a 900000 MiB hard disk",
       {{L"C:\\", 900000.0, false}, {L"D:\\", 20000000.0, true}},
       L"D:\\",
       true},
      {"ties keep the first", {{L"C:\\", 500.0, false}, {L"D:\\", 500.0, true}}, L"C:\\", false},
      {"a zero score still beats no drive", {{L"E:\\", 0.0, true}, {L"F:\\", 0.0, false}}, L"E:\\", true},
      {"a zero-score drive loses to any free space",
       {{L"C:\\", 0.0, false}, {L"D:\\", 1.0, false}},
       L"D:\\",
       false},
      {"no drive leaves the outputs", {}, L"untouched", true},
  };
  for (const Case& c : cases) {
    std::wstring root = L"untouched";
    bool ssd = true;
    std::vector<std::wstring> roots;
    for (const DriveCase& d : c.drives) roots.push_back(d.root);
    helper::disk::pickBestDrive(
        roots,
        [&](const std::wstring& r, bool& isSsd) {
          for (const DriveCase& d : c.drives) {
            if (r == d.root) {
              isSsd = d.ssd;
              return d.score;
            }
          }
          return -2.0;
        },
        root, ssd);
    EXPECT_EQ(root, c.root) << c.label;
    EXPECT_EQ(ssd, c.ssd) << c.label;
  }
}

// Stated facts answer for their drives in every query, on any system.
TEST(DiskRules, StatedVolumesAnswerEveryQuery) {
  helper::disk::setStatedVolumesForTesting({{L'K', {20000.0, L"NTFS", true}},
                                            {L'L', {900000.0, L"NTFS", false}},
                                            {L'M', {50000.0, L"exFAT", true}},
                                            {L'N', {0.0, L"NTFS", false}}});
  struct Case {
    const wchar_t* path;
    double free;
    double usable;
    bool ssd;
    double score;
  };
  const Case cases[] = {
      {L"K:\\games", 20000.0, 20000.0, true, 20000000.0},
      {L"l:/", 900000.0, 900000.0, false, 900000.0},
      {L"M:\\", 50000.0, 0.0, true, 0.0},
      {L"N:\\", 0.0, 0.0, false, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(utility::wideToUtf8(c.path));
    EXPECT_NEAR(helper::disk::freeSpaceMiB(c.path), c.free, 0.01);
    EXPECT_NEAR(helper::disk::usableFreeSpaceMiB(c.path), c.usable, 0.01);
    EXPECT_EQ(helper::disk::isSsd(std::wstring(c.path).substr(0, 2)), c.ssd);
    bool ssd = false;
    EXPECT_NEAR(helper::disk::driveScore(c.path, ssd), c.score, 1.0);
  }
  // A drive with no byte left is no place for the installation; one with room is.
  EXPECT_EQ(helper::disk::installPathProblem(L"N:\\games"), helper::disk::InstallPathProblem::noFreeSpace);
  EXPECT_EQ(helper::disk::installPathProblem(L"K:\\games\\a|b"), helper::disk::InstallPathProblem::invalidCharacters);
  EXPECT_EQ(helper::disk::installPathProblem(L"K:\\games\\ \\emu"), helper::disk::InstallPathProblem::blankFolderName);
  EXPECT_EQ(helper::disk::installPathProblem(L"K:\\" + std::wstring(256, L'a')), helper::disk::InstallPathProblem::tooLong);
  helper::disk::setStatedVolumesForTesting({});
}

}  // namespace
