// The drive table of every system: the override text, and the table this machine has.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "utility/base/strings.h"
#include "utility/system/drive_table.h"
#include "utility/system/ufile.h"

namespace {

TEST(DriveTableSpec, ParsesOverrideText) {
  const auto drives = utility::parseDriveTable("c=/tmp/a/;D=/tmp/b,bad,E=relative,F=/x");
  ASSERT_EQ(drives.size(), 3u);
  EXPECT_EQ(drives[0].letter, L'C');
  EXPECT_EQ(drives[0].root, "/tmp/a");
  EXPECT_EQ(drives[1].letter, L'D');
  EXPECT_EQ(drives[2].letter, L'F');
}

// Whatever the system, the table holds distinct upper-case letters, each with its root, and the
// path texts of the system come back as they went.
TEST(DriveTableDetected, LettersAreDistinctAndRootsKnown) {
  utility::setDriveTableForTesting({});
  const auto drives = utility::driveTable();
  std::set<wchar_t> letters;
  for (const utility::Drive& d : drives) {
    EXPECT_TRUE(d.letter >= L'A' && d.letter <= L'Z') << static_cast<int>(d.letter);
    EXPECT_TRUE(letters.insert(d.letter).second) << "twice: " << static_cast<char>(d.letter);
    EXPECT_FALSE(d.root.empty()) << static_cast<char>(d.letter);
  }
  // A NUL would cut the text the system sees.
  EXPECT_TRUE(utility::toHostPath(std::wstring(L"C:\\a\0b", 6)).empty());
  const std::wstring moduleFile = utility::ufile::moduleFileName();
  ASSERT_FALSE(moduleFile.empty());
  EXPECT_EQ(utility::fromHostPath(utility::toHostPath(moduleFile)), moduleFile);
  const std::wstring moduleDir = utility::ufile::moduleDir();
  ASSERT_FALSE(moduleDir.empty());
  EXPECT_TRUE(moduleDir.back() == L'\\' || moduleDir.back() == L'/');
  EXPECT_EQ(moduleFile.rfind(moduleDir, 0), 0u);
}

}  // namespace
