#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "utility/drive_table.h"
#include "utility/strings.h"
#include "utility/ufile.h"

namespace {

class DriveTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    utility::setDriveTableForTesting(
        {{L'C', "/home/user/", {}, {}}, {L'D', "/", {}, {}}, {L'E', "/mnt/data", {}, {}}});
  }
  void TearDown() override { utility::setDriveTableForTesting({}); }
};

TEST_F(DriveTableTest, WindowsTextsToHostPaths) {
  struct Case {
    const wchar_t* windows;
    const char* host;
  };
  const Case cases[] = {
      {L"C:\\Tarnwick\\Tarnwick9\\", "/home/user/Tarnwick/Tarnwick9/"},
      {L"c:\\a\\b.exe", "/home/user/a/b.exe"},
      {L"E:/mixed\\seps", "/mnt/data/mixed/seps"},
      {L"D:\\", "/"},
      {L"E:\\", "/mnt/data/"},
      {L"E:", "/mnt/data"},
      {L"D:\\games\\emu", "/games/emu"},
      {L"/tmp/host\\style", "/tmp/host/style"},
      {L"relative\\part", "relative/part"},
      {L"Z:\\nowhere", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(utility::toHostPath(c.windows), c.host) << utility::wideToUtf8(c.windows);
}

// "." and ".." never lead out of the drive's root folder, whatever the separators.
TEST_F(DriveTableTest, DotSegmentsStayInsideTheDrive) {
  struct Case {
    const wchar_t* windows;
    const char* host;
  };
  const Case cases[] = {
      {L"C:\\..\\..\\etc\\passwd", "/home/user/etc/passwd"},
      {L"C:/../..\\etc/./passwd", "/home/user/etc/passwd"},
      {L"C:\\a\\..\\..\\..\\b", "/home/user/b"},
      {L"C:\\a\\.\\b\\..\\c", "/home/user/a/c"},
      {L"C:\\\\a//\\b\\\\", "/home/user/a/b/"},
      {L"C:\\a\\b\\..", "/home/user/a"},
      {L"C:\\a\\..", "/home/user/"},
      {L"C:\\..\\", "/home/user/"},
      {L"C:\\.", "/home/user/"},
      {L"C:..\\x", "/home/user/x"},
      {L"E:\\..\\..\\mnt\\other", "/mnt/data/mnt/other"},
      {L"D:\\..\\etc", "/etc"},
      {L"E:\\...\\a..b\\..c", "/mnt/data/.../a..b/..c"},
  };
  for (const Case& c : cases) EXPECT_EQ(utility::toHostPath(c.windows), c.host) << utility::wideToUtf8(c.windows);
  // A NUL would cut the text the system sees ("C:\..<NUL>x" would open "<root>/..").
  EXPECT_EQ(utility::toHostPath(std::wstring(L"C:\\..\0x", 7)), "");
  EXPECT_EQ(utility::toHostPath(std::wstring(L"/tmp/a\0b", 8)), "");
}

TEST_F(DriveTableTest, HostPathsToWindowsTextsDeepestRootWins) {
  EXPECT_EQ(utility::fromHostPath("/home/user/.local/share"), L"C:\\.local\\share");
  EXPECT_EQ(utility::fromHostPath("/home/user"), L"C:\\");
  EXPECT_EQ(utility::fromHostPath("/home/username"), L"D:\\home\\username");
  EXPECT_EQ(utility::fromHostPath("/mnt/data/x/y"), L"E:\\x\\y");
  EXPECT_EQ(utility::fromHostPath("relative/x"), L"relative/x");
}

// Readers keep what they read while another thread replaces the table.
TEST_F(DriveTableTest, ReadersSurviveATableReplacedUnderThem) {
  const auto& held = utility::driveTable();
  // Two replacements of the same shape: the memory of the first table is free to be reused.
  for (const char* root : {"/replaced/once/with/a/long/enough/root", "/replaced/twice/with/a/long/enough/root"}) {
    utility::setDriveTableForTesting({{L'C', root, {}, {}}, {L'D', root, {}, {}}, {L'E', root, {}, {}}});
  }
  ASSERT_EQ(held.size(), 3u);
  EXPECT_EQ(held[0].root, "/home/user");
  EXPECT_EQ(held[2].root, "/mnt/data");

  const std::vector<utility::Drive> first = {{L'C', "/first/home/of/a/reasonably/long/name", {}, {}},
                                             {L'D', "/first/data/of/a/reasonably/long/name", {}, {}}};
  const std::vector<utility::Drive> second = {{L'C', "/second/home/of/a/reasonably/long/name", {}, {}},
                                              {L'D', "/second/data/of/a/reasonably/long/name", {}, {}}};
  utility::setDriveTableForTesting(first);
  std::atomic<bool> done{false};
  std::atomic<int> wrong{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < 2; ++r) {
    readers.emplace_back([&] {
      while (!done.load()) {
        const std::string host = utility::toHostPath(L"D:\\x");
        if (host != first[1].root + "/x" && host != second[1].root + "/x") ++wrong;
        const std::wstring text = utility::fromHostPath(second[0].root + "/y");
        if (text != L"C:\\y" && text != utility::utf8ToWide(second[0].root + "/y")) ++wrong;
        for (const utility::Drive& d : utility::driveTable()) {
          if (d.root.size() != first[0].root.size() + (d.root[1] == 's' ? 1 : 0)) ++wrong;
        }
      }
    });
  }
  for (int i = 0; i < 20000; ++i) utility::setDriveTableForTesting(i % 2 == 0 ? second : first);
  done.store(true);
  for (auto& reader : readers) reader.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST(DriveTableSpec, ParsesOverrideText) {
  const auto drives = utility::parseDriveTable("c=/tmp/a/;D=/tmp/b,bad,E=relative,F=/x");
  ASSERT_EQ(drives.size(), 3u);
  EXPECT_EQ(drives[0].letter, L'C');
  EXPECT_EQ(drives[0].root, "/tmp/a");
  EXPECT_EQ(drives[1].letter, L'D');
  EXPECT_EQ(drives[2].letter, L'F');
}

TEST(DriveTableDetected, HomeIsDriveC) {
  utility::setDriveTableForTesting({});
  const auto& drives = utility::driveTable();
  ASSERT_FALSE(drives.empty());
  EXPECT_EQ(drives[0].letter, L'C');
  for (size_t i = 1; i < drives.size(); ++i) {
    EXPECT_EQ(drives[i].letter, static_cast<wchar_t>(L'C' + i));
    EXPECT_EQ(drives[i].device.rfind("/dev/", 0), 0u) << drives[i].root;
  }
  EXPECT_FALSE(utility::ufile::appDataDir().empty());
  const std::wstring moduleDir = utility::ufile::moduleDir();
  ASSERT_FALSE(moduleDir.empty());
  EXPECT_TRUE(moduleDir.back() == L'\\' || moduleDir.back() == L'/');
}

}  // namespace
