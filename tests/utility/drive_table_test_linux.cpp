// The drive table where drives are folders: Windows texts mapped to host paths, mounts that
// become drives, the home folder as C:.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "utility/system/drive_table.h"
#include "utility/system/linux/drive_table_linux.h"
#include "utility/base/strings.h"
#include "utility/system/ufile.h"

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
  for (const Case& c : cases) EXPECT_EQ(utility::toHostPath(c.windows).native(), c.host) << utility::wideToUtf8(c.windows);
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
  for (const Case& c : cases) EXPECT_EQ(utility::toHostPath(c.windows).native(), c.host) << utility::wideToUtf8(c.windows);
  // A NUL would cut the text the system sees ("C:\..<NUL>x" would open "<root>/..").
  EXPECT_EQ(utility::toHostPath(std::wstring(L"C:\\..\0x", 7)).native(), "");
  EXPECT_EQ(utility::toHostPath(std::wstring(L"/tmp/a\0b", 8)).native(), "");
}

TEST_F(DriveTableTest, HostPathsToWindowsTextsDeepestRootWins) {
  EXPECT_EQ(utility::fromHostPath("/home/user/.local/share"), L"C:\\.local\\share");
  EXPECT_EQ(utility::fromHostPath("/home/user"), L"C:\\");
  EXPECT_EQ(utility::fromHostPath("/home/username"), L"D:\\home\\username");
  EXPECT_EQ(utility::fromHostPath("/mnt/data/x/y"), L"E:\\x\\y");
  EXPECT_EQ(utility::fromHostPath("relative/x"), L"relative/x");
  // Names are UTF-8 whatever the locale (the tests run in the C locale).
  EXPECT_EQ(utility::fromHostPath("/home/user/\xE6\xB8\xB8.exe"), L"C:\\\u6E38.exe");
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
        const std::string host = utility::toHostPath(L"D:\\x").native();
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

// One mount per row, and whether it becomes a drive (rows that do get the next letter).
TEST(DriveTableMounts, LocalWritableFileSystemsBecomeDrives) {
  struct Row {
    const char* line;
    const char* root;  // the drive's root folder; null when the mount is left out
    const char* type;
    const char* device;
  };
  const Row rows[] = {
      {"28 1 254:0 / / rw,relatime - ext4 /dev/vda rw,discard", "/", "ext4", "/dev/vda"},
      {"22 28 0:21 / /proc rw,relatime - proc proc rw", nullptr, nullptr, nullptr},
      {"26 24 0:24 / /dev/shm rw,relatime - tmpfs tmpfs rw,size=24683728k", nullptr, nullptr, nullptr},
      {"45 28 0:40 /@home /home rw,relatime shared:30 - btrfs /dev/sda2 rw,ssd,subvolid=257,subvol=/@home",
       "/home", "btrfs", "/dev/sda2"},
      {"46 28 0:40 /@ /sysroot rw,relatime - btrfs /dev/sda2 rw,subvolid=256,subvol=/@", "/sysroot", "btrfs",
       "/dev/sda2"},
      // The same subvolume again, and part of it bound elsewhere.
      {"47 28 0:40 /@home /var/home rw,relatime - btrfs /dev/sda2 rw,subvolid=257,subvol=/@home", nullptr,
       nullptr, nullptr},
      {"48 28 0:40 /@home/u/dir /srv/bind rw,relatime - btrfs /dev/sda2 rw,subvolid=257,subvol=/@home", nullptr,
       nullptr, nullptr},
      {"50 28 0:50 / /tank/data rw,relatime shared:40 - zfs tank/data rw,xattr,noacl", "/tank/data", "zfs",
       "tank/data"},
      {"51 28 0:51 / /tank/archive ro,relatime - zfs tank/archive ro,xattr", nullptr, nullptr, nullptr},
      {"52 28 0:60 / /mnt/bc rw,relatime - bcachefs /dev/sdc1:/dev/sdd1 rw", "/mnt/bc", "bcachefs",
       "/dev/sdc1:/dev/sdd1"},
      {"53 28 0:70 / /mnt/nfs rw,relatime - nfs4 server:/export rw,vers=4.2", nullptr, nullptr, nullptr},
      {"54 28 0:71 / /mnt/smb rw,relatime - cifs //srv/share rw,vers=3.1.1", nullptr, nullptr, nullptr},
      {"55 28 0:72 / /mnt/ssh rw,nosuid - fuse.sshfs user@host:/ rw,user_id=1000", nullptr, nullptr, nullptr},
      {"56 28 0:73 / /mnt/cloud rw,nosuid - fuse.rclone remote: rw,user_id=1000", nullptr, nullptr, nullptr},
      {"57 28 0:74 / /mnt/host rw,relatime - 9p hostshare rw,trans=virtio", nullptr, nullptr, nullptr},
      {"58 28 0:75 / /mnt/ceph rw,relatime - ceph 10.0.0.1:/ rw,name=admin", nullptr, nullptr, nullptr},
      {"59 28 8:17 / /media/win rw,nosuid - fuseblk /dev/sdb1 rw,user_id=0", "/media/win", "fuseblk", "/dev/sdb1"},
      {"60 28 7:0 / /snap/core/1 ro,nodev - squashfs /dev/loop0 ro", nullptr, nullptr, nullptr},
      {"61 28 0:80 / /merged rw,relatime - overlay overlay rw,lowerdir=/a", nullptr, nullptr, nullptr},
      {"62 28 8:33 / /media/usb rw,relatime - vfat /dev/sdc1 ro,fmask=0022", nullptr, nullptr, nullptr},
      {"63 28 8:49 / /mnt/My\\040Disk rw,relatime - ext4 /dev/sdd1 rw", "/mnt/My Disk", "ext4", "/dev/sdd1"},
      // The kernel escapes blank, tab, newline and backslash in names as three octal digits.
      {"67 28 8:97 / /mnt/tab\\011nl\\012back\\134slash rw - ext4 /dev/disk/by-label/My\\040Disk rw",
       "/mnt/tab\tnl\nback\\slash", "ext4", "/dev/disk/by-label/My Disk"},
      {"68 28 8:113 / /mnt/not\\8escape rw - ext4 /dev/sdh1 rw", "/mnt/not\\8escape", "ext4", "/dev/sdh1"},
      {"64 28 8:49 / /mnt/again rw,relatime - ext4 /dev/sdd1 rw", nullptr, nullptr, nullptr},  // same tree
      {"65 28 8:65 / /mnt/gone rw,relatime - xfs /dev/sde1 rw", nullptr, nullptr, nullptr},   // not a folder
      {"66 28 8:81 /sub /mnt/part rw,relatime - ext4 /dev/sdf1 rw", nullptr, nullptr, nullptr},
      {"garbage line without fields", nullptr, nullptr, nullptr},
  };
  std::string mountinfo;
  std::vector<const Row*> expected;
  for (const Row& row : rows) {
    mountinfo += std::string(row.line) + "\n";
    if (row.root != nullptr) expected.push_back(&row);
  }
  const auto drives = utility::drivesFromMountInfo(mountinfo, L'D', [](const std::string& point) {
    return point != "/mnt/gone";
  });
  ASSERT_EQ(drives.size(), expected.size());
  for (size_t i = 0; i < drives.size(); ++i) {
    EXPECT_EQ(drives[i].letter, static_cast<wchar_t>(L'D' + i));
    EXPECT_EQ(drives[i].root, expected[i]->root);
    EXPECT_EQ(drives[i].fsType, expected[i]->type);
    EXPECT_EQ(drives[i].device, expected[i]->device);
  }
}

TEST(DriveTableMounts, LettersStopAtZ) {
  std::string mountinfo;
  for (int i = 0; i < 40; ++i) {
    mountinfo += "1 1 8:" + std::to_string(i) + " / /m" + std::to_string(i) + " rw - ext4 /dev/x" +
                 std::to_string(i) + " rw\n";
  }
  const auto drives = utility::drivesFromMountInfo(mountinfo, L'D', nullptr);
  ASSERT_EQ(drives.size(), 23u);
  EXPECT_EQ(drives.back().letter, L'Z');
}

TEST(DriveTableDetected, HomeIsDriveC) {
  utility::setDriveTableForTesting({});
  const auto& drives = utility::driveTable();
  ASSERT_FALSE(drives.empty());
  EXPECT_EQ(drives[0].letter, L'C');
  for (size_t i = 1; i < drives.size(); ++i) {
    EXPECT_EQ(drives[i].letter, static_cast<wchar_t>(L'C' + i));
    EXPECT_FALSE(drives[i].device.empty()) << drives[i].root;  // a ZFS dataset names no /dev node
    EXPECT_FALSE(drives[i].fsType.empty()) << drives[i].root;
    EXPECT_EQ(drives[i].root.rfind('/', 0), 0u) << drives[i].root;
  }
  EXPECT_FALSE(utility::ufile::appDataDir().empty());
  const std::wstring moduleDir = utility::ufile::moduleDir();
  ASSERT_FALSE(moduleDir.empty());
  EXPECT_TRUE(moduleDir.back() == L'\\' || moduleDir.back() == L'/');
}

// Linux paths are bytes, not always UTF-8 (a folder the chooser returns, an old Latin-1 name):
// as text they stay the same bytes.
TEST(HostPathTextLinux, BytesThatAreNotUtf8StayAsTheyAre) {
  const std::string bytes = "/media/\xff\xfe-caf\xe9/";
  EXPECT_EQ(utility::HostPath::fromString(bytes).native(), bytes);
  EXPECT_EQ(utility::HostPath(bytes).string(), bytes);
}

}  // namespace
