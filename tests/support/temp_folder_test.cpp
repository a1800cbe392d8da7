#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <utility>

namespace fs = std::filesystem;

namespace {

TEST(TempFolder, BelowAGivenParentAndMovable) {
  testsupport::TempFolder parent("parent");
  testsupport::TempFolder inner("inner", parent.path());
  EXPECT_EQ(inner.path().parent_path(), parent.path());

  const fs::path where = inner.path();
  testsupport::TempFolder moved(std::move(inner));
  EXPECT_EQ(moved.path(), where);
  EXPECT_TRUE(inner.path().empty());  // NOLINT(bugprone-use-after-move): moved-from owns nothing
  {
    testsupport::TempFolder other("other", parent.path());
    const fs::path otherPath = other.path();
    other = std::move(moved);  // the folder it held goes, the moved one stays
    EXPECT_FALSE(fs::exists(otherPath));
    EXPECT_EQ(other.path(), where);
    EXPECT_TRUE(fs::is_directory(where));
  }
  EXPECT_FALSE(fs::exists(where));
}

TEST(TempFolder, NoParentNoFolder) {
  testsupport::TempFolder parent("parent");
  EXPECT_THROW(testsupport::TempFolder("x", parent.path() / "missing"), fs::filesystem_error);
  std::ofstream(parent.path() / "file") << "x";
  EXPECT_THROW(testsupport::TempFolder("x", parent.path() / "file"), fs::filesystem_error);
}

}  // namespace
