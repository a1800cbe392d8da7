// The pieces of giving up root that need no root: reading an id, and which places count as the
// user's own. The drop itself is tested on the real executable (tests/app/root_drop_test_linux.cpp).
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "tests/support/temp_folder.h"
#include "utility/system/linux/privilege_linux.h"

namespace {

namespace fs = std::filesystem;

TEST(GivingUpRoot, UserIdTexts) {
  struct Case {
    const char* text;
    std::optional<uint32_t> id;
  };
  const Case cases[] = {
      {"1001", 1001u},       {"0", 0u},          {"00001001", 1001u}, {"4294967294", 4294967294u},
      {"4294967295", {}},    {"9999999999", {}}, {"99999999999", {}}, {"", {}},
      {"-1", {}},            {"+5", {}},         {" 1001", {}},       {"1001 ", {}},
      {"1001x", {}},         {"0x3e9", {}},      {nullptr, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(utility::usystem::parseId(c.text), c.id) << (c.text != nullptr ? c.text : "(null)");
  }
}

// A place is the user's when it, or where it does not exist yet its nearest parent, belongs to
// the user; links are followed to what they name.
TEST(GivingUpRoot, PlacesOwnedByTheUser) {
  testsupport::TempFolder folder("privilege");
  const fs::path base = folder.path();
  fs::create_directories(base / "own");
  std::ofstream(base / "own/file") << "x";
  fs::create_directory_symlink("/proc", base / "toRoots");
  const uid_t me = geteuid();
  const uid_t other = me + 4242;
  struct Case {
    std::string path;
    uid_t uid;
    bool owned;
  };
  const Case cases[] = {
      {(base / "own").string(), me, true},
      {(base / "own/file").string(), me, true},
      {(base / "own/not/yet/made").string(), me, true},
      {(base / "own/not/yet/made").string(), other, false},
      {(base / "own/file/below").string(), me, false},  // a file cannot hold a folder
      {(base / "toRoots").string(), me, me == 0},        // the link's target counts, root's here
      {"/nonexistent-tarnwick-place/x", me, me == 0},    // the nearest parent is "/"
      {"relative/path", me, false},
      {"", me, false},
  };
  for (const Case& c : cases) EXPECT_EQ(utility::usystem::inPlaceOwnedBy(c.path, c.uid), c.owned) << c.path;
}

}  // namespace
