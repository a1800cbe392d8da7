// The folder's POSIX side: owner-only permissions, and links inside removed, not followed.

#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <utility>

namespace fs = std::filesystem;

namespace {

TEST(TempFolder, EachIsNewPrivateAndGoesWithEverythingInIt) {
  std::set<fs::path> seen;
  fs::path kept;
  {
    testsupport::TempFolder first("same");
    testsupport::TempFolder second("same");
    for (const auto* folder : {&first, &second}) {
      EXPECT_EQ(folder->path().parent_path(), fs::temp_directory_path());
      EXPECT_EQ(folder->path().filename().string().rfind("same-", 0), 0u) << folder->path();
      EXPECT_TRUE(fs::is_directory(folder->path()));
      EXPECT_TRUE(fs::is_empty(folder->path()));
      EXPECT_EQ(fs::status(folder->path()).permissions(), fs::perms::owner_all);
      seen.insert(folder->path());
    }
    fs::create_directories(first.path() / "a" / "b");
    std::ofstream(first.path() / "a" / "b" / "file") << "x";
    fs::create_symlink("/", first.path() / "root");  // removed, not followed
    kept = first.path();
  }
  EXPECT_EQ(seen.size(), 2u);
  for (const fs::path& path : seen) EXPECT_FALSE(fs::exists(fs::symlink_status(path))) << path;
  EXPECT_TRUE(fs::is_directory("/"));
}

}  // namespace
