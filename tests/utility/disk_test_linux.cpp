// Disk facts where volumes are mounts: real file systems, tmpfs and a sysfs tree.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "tests/support/temp_folder.h"
#include "utility/system/disk.h"
#include "utility/system/linux/disk_linux.h"
#include "utility/system/drive_table.h"
#include "utility/base/strings.h"

namespace fs = std::filesystem;

namespace {

double availableMiB(const fs::path& path) {
  return static_cast<double>(fs::space(path).available) / 1048576.0;
}

// Drives on temporary folders of the real file systems: C: and D: on the temp folder's file
// system, T: on a tmpfs when there is one.
class DiskFacts : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = temp_.path();
    fs::create_directories(base_ / "c");
    fs::create_directories(base_ / "d" / "games");
    emptySysfs_ = base_ / "sysfs";
    fs::create_directory(emptySysfs_);
    if (fs::is_directory("/dev/shm")) {
      shmFolder_.emplace("disk-test", "/dev/shm");
      shm_ = shmFolder_->path();
    }
    std::vector<utility::Drive> drives = {{L'C', (base_ / "c").string(), {}, {}},
                                          {L'D', (base_ / "d").string(), {}, {}}};
    if (!shm_.empty()) drives.push_back({L'T', shm_.string(), {}, {}});
    utility::setDriveTableForTesting(drives);
  }
  void TearDown() override {
    utility::setDriveTableForTesting({});
    helper::disk::setSysfsRootForTesting({});
  }

  testsupport::TempFolder temp_{"disk-test"};
  std::optional<testsupport::TempFolder> shmFolder_;  // on a tmpfs, where there is one
  fs::path base_;
  fs::path emptySysfs_;
  fs::path shm_;
};

TEST_F(DiskFacts, ValidInstallPaths) {
  const std::pair<const wchar_t*, bool> cases[] = {
      {L"C:/Program Files//Foo/", true},
      {L"c:\\", true},
      {L"C:/", true},
      {L"c:", false},                 // too short
      {L"d:\\games\\ \\emu", false},  // a piece of blanks only
      {L"d:\\games\\emu:", false},    // a colon after the root
      {L"d:\\games\\emu", true},
      {L"  D:\\Games\\Emu  ", true},
      {L"d:\\games\\emu\\ ", true},  // the piece after the last backslash is not examined
      {L"d:\\\\\\games\\\\emu", true},
      {L"d:\\not\\there\\yet", true},  // the folder need not exist
      {L"d:\\a*b", false},
      {L"d:\\a?b", false},
      {L"d:\\a\"b", false},
      {L"d:\\a<b", false},
      {L"d:\\a>b", false},
      {L"d:\\a|b", false},
      {L"z:\\games", false},  // no such drive
      {L"", false},
      {L"\\\\\\", false},
      // Relative texts never name a volume, whatever the current folder holds.
      {L"games\\emu", false},
      {L"..\\emu", false},
      {L"d:games\\emu", false},
  };
  for (const auto& [path, valid] : cases) {
    EXPECT_EQ(helper::disk::isValidInstallPath(path), valid) << utility::wideToUtf8(path);
  }
}

TEST_F(DiskFacts, FreeSpaceIsWhatTheUserMayUse) {
  const double expected = availableMiB(base_);
  // Other processes write meanwhile: a few hundred MiB either way.
  EXPECT_NEAR(helper::disk::freeSpaceMiB(L"C:\\whatever\\below"), expected, 512.0);
  EXPECT_NEAR(helper::disk::usableFreeSpaceMiB(L"d:/games"), expected, 512.0);
  EXPECT_EQ(helper::disk::freeSpaceMiB(L"Z:\\"), 0.0);
  EXPECT_EQ(helper::disk::freeSpaceMiB(L"games"), 0.0);
  EXPECT_EQ(helper::disk::usableFreeSpaceMiB(L""), 0.0);
}

TEST_F(DiskFacts, OtherFileSystemsAreNotUsable) {
  if (shm_.empty()) GTEST_SKIP() << "no tmpfs at /dev/shm";
  EXPECT_GT(helper::disk::freeSpaceMiB(L"T:\\"), 0.0);
  EXPECT_EQ(helper::disk::usableFreeSpaceMiB(L"T:\\"), 0.0);
  bool ssd = true;
  EXPECT_EQ(helper::disk::driveScore(L"T:\\", ssd), 0.0);
  EXPECT_TRUE(ssd);  // untouched
}

TEST_F(DiskFacts, FixedDrivesAreRecheckedAndInLetterOrder) {
  utility::setDriveTableForTesting({{L'E', (base_ / "d").string(), {}, {}},
                                    {L'C', (base_ / "c").string(), {}, {}},
                                    {L'F', (base_ / "gone").string(), {}, {}},
                                    {L'G', "/proc", {}, {}},
                                    {L'H', shm_.empty() ? "/proc" : shm_.string(), {}, {}}});
  EXPECT_EQ(helper::disk::fixedDrives(), (std::vector<std::wstring>{L"C:\\", L"E:\\"}));
}

TEST_F(DiskFacts, ScoreAndBestDriveOnRealVolumes) {
  helper::disk::setSysfsRootForTesting(emptySysfs_.string());  // no disk found: not solid-state
  bool ssd = true;
  EXPECT_NEAR(helper::disk::driveScore(L"C:\\", ssd), availableMiB(base_), 512.0);
  EXPECT_FALSE(ssd);
  EXPECT_EQ(helper::disk::driveScore(L"Z:\\", ssd), 0.0);

  // One fixed drive on the real volume: C: and D: on the same volume would tie only while no
  // other process writes between their two queries (the tie rule is in the table above). T: is
  // not a fixed drive.
  std::vector<utility::Drive> oneFixed = {{L'C', (base_ / "c").string(), {}, {}}};
  if (!shm_.empty()) oneFixed.push_back({L'T', shm_.string(), {}, {}});
  utility::setDriveTableForTesting(oneFixed);
  std::wstring root;
  ssd = true;
  helper::disk::bestInstallDrive(root, ssd);
  EXPECT_EQ(root, L"C:\\");
  EXPECT_FALSE(ssd);

  utility::setDriveTableForTesting({{L'F', (base_ / "gone").string(), {}, {}}});
  root.clear();
  helper::disk::bestInstallDrive(root, ssd);
  EXPECT_EQ(root, L"");
}

// A sysfs tree laid out as the kernel does: /dev/block/<maj:min> links into /devices, /block
// links to whole disks, partitions inside their disk's folder, slaves/ of stacked devices.
class FakeSysfs : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = temp_.path();
    addDisk("sda", "pci0/host0", "8:0", 1073741824);
    addPartition("sda", "pci0/host0", "sda1", "8:1");
    addPartition("sda", "pci0/host0", "sda2", "8:2");
    addDisk("sdb", "pci0/host1", "8:16", 0);
    addPartition("sdb", "pci0/host1", "sdb1", "8:17");
    addDisk("nvme0n1", "pci0/nvme0", "259:0", 2199023255040);
    addPartition("nvme0n1", "pci0/nvme0", "nvme0n1p1", "259:1");
    addDisk("nvme1n1", "pci0/nvme1", "259:4", 2199023255040);
    addPartition("nvme1n1", "pci0/nvme1", "nvme1n1p1", "259:5");
    addStacked("dm-0", "253:0", {"pci0/host0/block/sda/sda2"});                               // crypt on SSD
    addStacked("dm-1", "253:1", {"pci0/host0/block/sda/sda1", "pci0/host1/block/sdb/sdb1"});  // spans HDD
    addStacked("md0", "9:0", {"pci0/nvme0/block/nvme0n1/nvme0n1p1", "pci0/nvme1/block/nvme1n1/nvme1n1p1"});
    addStacked("dm-2", "253:2", {"virtual/block/dm-0"});  // LVM on crypt
    addDisk("sdc", "usb0/host2", "8:32", 0, true);  // a USB stick
    addPartition("sdc", "usb0/host2", "sdc1", "8:33");
    addStacked("dm-3", "253:3", {"usb0/host2/block/sdc/sdc1"});  // encrypted stick
    helper::disk::setSysfsRootForTesting(root_.string());
  }
  void TearDown() override {
    helper::disk::setSysfsRootForTesting({});
  }

  void addDisk(const std::string& name, const std::string& bus, const std::string& number,
               long long discard, bool removable = false) {
    const fs::path folder = root_ / "devices" / bus / "block" / name;
    fs::create_directories(folder / "queue");
    std::ofstream(folder / "queue" / "discard_max_bytes") << discard << "\n";
    std::ofstream(folder / "removable") << (removable ? 1 : 0) << "\n";
    link(root_ / "block" / name, fs::path("../devices") / bus / "block" / name);
    link(root_ / "dev" / "block" / number, fs::path("../../devices") / bus / "block" / name);
  }
  void addPartition(const std::string& disk, const std::string& bus, const std::string& name,
                    const std::string& number) {
    const fs::path folder = root_ / "devices" / bus / "block" / disk / name;
    fs::create_directories(folder);
    std::ofstream(folder / "partition") << "1\n";
    link(root_ / "dev" / "block" / number, fs::path("../../devices") / bus / "block" / disk / name);
  }
  void addStacked(const std::string& name, const std::string& number,
                  const std::vector<std::string>& slaves) {
    const fs::path folder = root_ / "devices" / "virtual" / "block" / name;
    fs::create_directories(folder / "slaves");
    fs::create_directories(folder / "queue");
    std::ofstream(folder / "queue" / "discard_max_bytes") << "4096\n";  // never consulted
    for (const std::string& slave : slaves) {
      link(folder / "slaves" / fs::path(slave).filename(), fs::path("../../../..") / slave);
    }
    link(root_ / "block" / name, fs::path("../devices/virtual/block") / name);
    link(root_ / "dev" / "block" / number, fs::path("../../devices/virtual/block") / name);
  }
  static void link(const fs::path& at, const fs::path& target) {
    fs::create_directories(at.parent_path());
    fs::create_directory_symlink(target, at);
  }

  testsupport::TempFolder temp_{"sysfs"};
  fs::path root_;
};

TEST_F(FakeSysfs, TrimOfTheDisksBehindADevice) {
  const std::pair<const char*, bool> cases[] = {
      {"8:1", true},     // partition of a disk with discard
      {"8:0", true},     // whole disk
      {"8:17", false},   // partition of a disk without discard
      {"8:16", false},   // whole disk without discard
      {"253:0", true},   // device-mapper over a solid-state partition
      {"253:1", false},  // device-mapper spanning a hard disk
      {"253:2", true},   // device-mapper over device-mapper
      {"9:0", true},     // md over two NVMe partitions
      {"7:0", false},    // no such device
      {"", false},
  };
  for (const auto& [number, ssd] : cases) EXPECT_EQ(helper::disk::isSolidStateDevice(number), ssd) << number;
}

TEST_F(FakeSysfs, RemovableMediaAreNoFixedDrives) {
  const std::pair<const char*, bool> cases[] = {
      {"8:33", true},    // partition of a USB stick
      {"8:32", true},    // the stick itself
      {"253:3", true},   // encrypted volume on the stick
      {"8:1", false},    // internal disk
      {"253:1", false},  // spans two internal disks
      {"7:0", false},    // unknown
  };
  for (const auto& [number, removable] : cases) {
    EXPECT_EQ(helper::disk::isRemovableDevice(number), removable) << number;
  }

  // C: and D: on one volume, which the fake tree puts on the stick: D: is left out, C: (the
  // home folder) never is.
  const fs::path home = root_ / "home";
  const fs::path d = root_ / "d";
  fs::create_directory(home);
  fs::create_directory(d);
  utility::setDriveTableForTesting({{L'C', home.string(), {}, {}}, {L'D', d.string(), {}, {}}});
  const std::string number = helper::disk::volumeDeviceNumber(L"C:");
  ASSERT_FALSE(number.empty());
  const fs::path entry = root_ / "dev" / "block" / number;
  std::error_code ignored;
  fs::remove(entry, ignored);
  fs::create_directory_symlink("../../devices/usb0/host2/block/sdc/sdc1", entry);
  EXPECT_EQ(helper::disk::fixedDrives(), std::vector<std::wstring>{L"C:\\"});
  fs::remove(entry);
  fs::create_directory_symlink("../../devices/pci0/host0/block/sda/sda2", entry);
  EXPECT_EQ(helper::disk::fixedDrives(), (std::vector<std::wstring>{L"C:\\", L"D:\\"}));
  utility::setDriveTableForTesting({});
}

TEST_F(FakeSysfs, DriveResolvedThroughItsVolume) {
  const fs::path drive = root_ / "drive";
  fs::create_directory(drive);
  utility::setDriveTableForTesting({{L'C', drive.string(), {}, {}}});
  const std::string number = helper::disk::volumeDeviceNumber(L"C:");
  ASSERT_FALSE(number.empty());
  EXPECT_EQ(helper::disk::volumeDeviceNumber(L"C:\\somewhere"), number);
  EXPECT_TRUE(helper::disk::volumeDeviceNumber(L"Q:").empty());

  // Whatever the real device number is, make the fake tree put the volume on sdb1, then sda2.
  const fs::path entry = root_ / "dev" / "block" / number;
  std::error_code ignored;
  fs::remove(entry, ignored);
  fs::create_directory_symlink("../../devices/pci0/host1/block/sdb/sdb1", entry);
  EXPECT_FALSE(helper::disk::isSsd(L"C:"));
  fs::remove(entry);
  fs::create_directory_symlink("../../devices/pci0/host0/block/sda/sda2", entry);
  EXPECT_TRUE(helper::disk::isSsd(L"C:"));
  EXPECT_TRUE(helper::disk::isSsd(L"c:\\"));
  EXPECT_FALSE(helper::disk::isSsd(L"Q:"));

  // Boosted score: solid-state and more than 17408 MiB free (when the volume has that much).
  bool ssd = false;
  const double free = helper::disk::freeSpaceMiB(L"C:\\");
  const double score = helper::disk::driveScore(L"C:\\", ssd);
  EXPECT_TRUE(ssd);
  if (free > helper::disk::kSsdBoostMiB + 1024) {
    EXPECT_GT(score, free * 900);
  }
  utility::setDriveTableForTesting({});
}

}  // namespace
