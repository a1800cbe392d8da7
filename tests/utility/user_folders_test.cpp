// The user's folders as every system names them: Windows path texts without a trailing "\",
// and the desktop a test may move into a folder of its own.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/temp_folder.h"
#include "utility/base/strings.h"
#include "utility/system/drive_table.h"
#include "utility/system/ufile.h"

namespace fs = std::filesystem;

namespace {

std::wstring withoutTrailingSeparators(std::wstring text) {
  while (!text.empty() && (text.back() == L'\\' || text.back() == L'/')) text.pop_back();
  return text;
}

TEST(UserFolders, DataAndDesktopAreDriveTextsWithoutTrailingSeparator) {
  for (const std::wstring& folder : {utility::ufile::appDataDir(), utility::ufile::desktopDir()}) {
    SCOPED_TRACE(utility::wideToUtf8(folder));
    ASSERT_GE(folder.size(), 3u);
    EXPECT_TRUE(folder[1] == L':' && folder[2] == L'\\');
    EXPECT_NE(folder.back(), L'\\');
    EXPECT_TRUE(fs::path(utility::toHostPath(folder)).is_absolute());
  }
}

TEST(UserFolders, ATestDesktopAnswersUntilItIsCleared) {
  const std::wstring usual = utility::ufile::desktopDir();
  testsupport::TempFolder temp("desktop");
  const fs::path desktop = temp.path() / fs::path(u8"Bureau \u00e9\u6e38\U0001F3AE");
  fs::create_directory(desktop);
  utility::ufile::setDesktopDirForTesting(desktop);
  const std::wstring moved = utility::ufile::desktopDir();
  EXPECT_EQ(moved, withoutTrailingSeparators(utility::fromHostPath(desktop)));
  EXPECT_TRUE(fs::equivalent(utility::toHostPath(moved), desktop));
  utility::ufile::setDesktopDirForTesting({});
  EXPECT_EQ(utility::ufile::desktopDir(), usual);
}

}  // namespace
