// Settings files where links are symbolic links.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_folder.h"
#include "utility/base/strings.h"
#include "utility/system/drive_table.h"
#include "utility/system/profile_file.h"

namespace fs = std::filesystem;

namespace {

using namespace std::string_literals;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

[[maybe_unused]] std::set<std::string> namesIn(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::u8string name = entry.path().filename().u8string();
    names.insert(std::string(name.begin(), name.end()));
  }
  return names;
}

class ProfileFileOnDisk : public ::testing::Test {
 protected:
  ProfileFileOnDisk() : temp_("profile-file") {
    utility::setDriveTableForTesting({utility::Drive{L'C', temp_.path().string(), "ext4", ""}});
    c_ = utility::fromHostPath(temp_.path());
    while (!c_.empty() && (c_.back() == L'\\' || c_.back() == L'/')) c_.pop_back();
  }
  ~ProfileFileOnDisk() override { utility::setDriveTableForTesting({}); }

  // "C:\x" of the tests: drive C: where drive letters are folders, the folder's own text on
  // Windows.
  std::wstring at(const std::wstring& text) const { return text.rfind(L"C:", 0) == 0 ? c_ + text.substr(2) : text; }

  testsupport::TempFolder temp_;
  std::wstring c_;
};

TEST_F(ProfileFileOnDisk, ALinkAtTheNameIsReplacedNotFollowed) {
  const fs::path victim = temp_.path() / "victim.txt";
  std::ofstream(victim, std::ios::binary) << "[setting]\nsecret=1\n";
  fs::create_symlink(victim, temp_.path() / "data.ini");
  EXPECT_TRUE(utility::profile::writeString(L"setting", L"adshow", L"0", at(L"C:\\data.ini")));
  EXPECT_EQ(readFile(victim), "[setting]\nsecret=1\n");
  EXPECT_FALSE(fs::is_symlink(temp_.path() / "data.ini"));
}

}  // namespace
