// Volume facts from statvfs/statfs, /proc/self/mountinfo and sysfs.
#include <dirent.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>

#include "utility/system/disk.h"
#include "utility/system/disk_volume.h"
#include "utility/system/linux/disk_linux.h"
#include "utility/system/drive_table.h"
#include "utility/system/linux/mount_info_linux.h"
#include "utility/base/strings.h"

namespace helper::disk {

namespace {

// Not in <linux/magic.h>.
constexpr unsigned long kNtfs3Magic = 0x5346544E;
constexpr unsigned long kRomfsMagic = 0x7275;

std::mutex gSysfsMutex;
std::string gSysfsRoot = "/sys";

std::string sysfsRoot() {
  std::lock_guard<std::mutex> lock(gSysfsMutex);
  return gSysfsRoot;
}

std::string hostRootOf(const std::wstring& root) { return utility::toHostPath(root).native(); }

struct MountEntry {
  std::string type;
  std::string source;
};

// The mount whose file system has the device number |dev| (as stat reports it).
std::optional<MountEntry> mountOfDevice(dev_t dev) {
  const std::string wanted = std::to_string(major(dev)) + ":" + std::to_string(minor(dev));
  for (const utility::MountInfoEntry& mount : utility::currentMounts()) {
    if (mount.majorMinor == wanted) return MountEntry{mount.type, mount.source};
  }
  return std::nullopt;
}

// Kernel names of the file systems statfs identifies by itself.
std::string kernelTypeOfMagic(unsigned long magic) {
  switch (magic) {
    case EXT4_SUPER_MAGIC: return "ext4";  // ext2/3/4 share the magic
    case XFS_SUPER_MAGIC: return "xfs";
    case BTRFS_SUPER_MAGIC: return "btrfs";
    case F2FS_SUPER_MAGIC: return "f2fs";
    case MSDOS_SUPER_MAGIC: return "vfat";
    case EXFAT_SUPER_MAGIC: return "exfat";
    case kNtfs3Magic: return "ntfs3";
    case TMPFS_MAGIC: return "tmpfs";
    default: return {};
  }
}

// File systems that are never a fixed drive: memory, pseudo, network, layered, read-only media.
bool isExcludedMagic(unsigned long magic) {
  static const std::set<unsigned long> kExcluded = {
      TMPFS_MAGIC,         RAMFS_MAGIC,         PROC_SUPER_MAGIC,
      SYSFS_MAGIC,         DEVPTS_SUPER_MAGIC,  CGROUP_SUPER_MAGIC,
      CGROUP2_SUPER_MAGIC, DEBUGFS_MAGIC,       SECURITYFS_MAGIC,
      TRACEFS_MAGIC,       BPF_FS_MAGIC,        PSTOREFS_MAGIC,
      EFIVARFS_MAGIC,      HUGETLBFS_MAGIC,     NSFS_MAGIC,
      AUTOFS_SUPER_MAGIC,  BINFMTFS_MAGIC,      NFS_SUPER_MAGIC,
      SMB_SUPER_MAGIC,     CIFS_SUPER_MAGIC,    SMB2_SUPER_MAGIC,
      V9FS_MAGIC,          CEPH_SUPER_MAGIC,    CODA_SUPER_MAGIC,
      AFS_SUPER_MAGIC,     AFS_FS_MAGIC,        OVERLAYFS_SUPER_MAGIC,
      SQUASHFS_MAGIC,      ISOFS_SUPER_MAGIC,   CRAMFS_MAGIC,
      kRomfsMagic,         EROFS_SUPER_MAGIC_V1};
  return kExcluded.count(magic) > 0;
}

// --- The disks behind a volume, through sysfs ---

std::string realPath(const std::string& path) {
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr) return {};
  return resolved;
}

bool exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

std::string baseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::vector<std::string> listFolder(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
  }
  return names;
}

// Whole disks below the block device folder |device|: a partition's parent, the slaves of a
// device-mapper or md device (recursively), or the device itself.
bool collectDisks(const std::string& device, int depth, std::set<std::string>& disks) {
  if (device.empty() || depth > 8) return false;
  if (exists(device + "/partition")) {
    const size_t slash = device.rfind('/');
    return slash != std::string::npos && collectDisks(device.substr(0, slash), depth + 1, disks);
  }
  const std::vector<std::string> slaves = listFolder(device + "/slaves");
  if (!slaves.empty()) {
    for (const std::string& slave : slaves) {
      if (!collectDisks(realPath(device + "/slaves/" + slave), depth + 1, disks)) return false;
    }
    return true;
  }
  disks.insert(baseName(device));
  return true;
}

bool discardCapable(const std::string& sysfs, const std::string& disk) {
  std::ifstream file(sysfs + "/block/" + disk + "/queue/discard_max_bytes");
  unsigned long long maxBytes = 0;
  return static_cast<bool>(file >> maxBytes) && maxBytes > 0;
}

// Removable media (USB sticks, memory cards), as the kernel flags the disk.
bool removableMedia(const std::string& sysfs, const std::string& disk) {
  std::ifstream file(sysfs + "/block/" + disk + "/removable");
  int removable = 0;
  return static_cast<bool>(file >> removable) && removable != 0;
}

std::string deviceNumberText(dev_t dev) {
  return std::to_string(major(dev)) + ":" + std::to_string(minor(dev));
}

// The whole disks behind the device |majorMinor|; empty when they cannot be found.
std::set<std::string> disksOfDevice(const std::string& sysfs, const std::string& majorMinor) {
  std::set<std::string> disks;
  if (majorMinor.empty() || !collectDisks(realPath(sysfs + "/dev/block/" + majorMinor), 0, disks)) return {};
  return disks;
}

// The device number of the block device behind the volume mounted at |host|: its own, or for
// file systems with device numbers of their own (btrfs, ...) the device the mount names.
std::string blockDeviceOfVolume(const std::string& sysfs, const std::string& host) {
  struct stat st {};
  if (host.empty() || ::stat(host.c_str(), &st) != 0) return {};
  const std::string number = deviceNumberText(st.st_dev);
  if (exists(sysfs + "/dev/block/" + number)) return number;
  const std::optional<MountEntry> mount = mountOfDevice(st.st_dev);
  struct stat device {};
  if (!mount || mount->source.rfind("/dev/", 0) != 0 || ::stat(mount->source.c_str(), &device) != 0 ||
      !S_ISBLK(device.st_mode)) {
    return {};
  }
  return deviceNumberText(device.st_rdev);
}

}  // namespace

void setSysfsRootForTesting(const std::string& root) {
  std::lock_guard<std::mutex> lock(gSysfsMutex);
  gSysfsRoot = root.empty() ? "/sys" : root;
}

namespace volume {

bool freeBytes(const std::wstring& root, uint64_t& bytes) {
  const std::string host = hostRootOf(root);
  struct statvfs st {};
  if (host.empty() || ::statvfs(host.c_str(), &st) != 0) return false;
  bytes = static_cast<uint64_t>(st.f_bavail) * static_cast<uint64_t>(st.f_frsize);
  return true;
}

FolderState folderState(const std::wstring& path) {
  std::string host = utility::toHostPath(path).native();
  while (host.size() > 1 && host.back() == '/') host.pop_back();
  if (host.empty()) return FolderState::usable;
  // Up to the nearest part that exists: a folder to write in, or a file in the way.
  while (true) {
    struct stat st {};
    if (::stat(host.c_str(), &st) == 0) {
      if (!S_ISDIR(st.st_mode)) return FolderState::notAFolder;
      return ::access(host.c_str(), W_OK | X_OK) == 0 ? FolderState::usable : FolderState::notWritable;
    }
    if (errno == ENOTDIR) return FolderState::notAFolder;
    if (errno == EACCES) return FolderState::notWritable;
    const size_t slash = host.rfind('/');
    if (slash == std::string::npos || host == "/") return FolderState::usable;
    host.erase(slash == 0 ? 1 : slash);
  }
}

std::optional<std::wstring> fileSystemName(const std::wstring& root) {
  const std::string host = hostRootOf(root);
  struct statfs fs {};
  struct stat st {};
  if (host.empty() || ::statfs(host.c_str(), &fs) != 0) return std::nullopt;
  std::string type = kernelTypeOfMagic(static_cast<unsigned long>(fs.f_type));
  if (type.empty() && ::stat(host.c_str(), &st) == 0) {
    if (const std::optional<MountEntry> mount = mountOfDevice(st.st_dev)) type = mount->type;
  }
  if (type.empty()) {
    // Unknown and unnamed: a name of its own, which is never an accepted one.
    std::ostringstream hex;
    hex << "0x" << std::hex << static_cast<unsigned long>(fs.f_type);
    type = hex.str();
  }
  return windowsFileSystemName(type);
}

}  // namespace volume

std::vector<std::wstring> fixedDrives() {
  std::vector<std::wstring> roots;
  for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) {
    const std::wstring root = std::wstring(1, letter) + L":\\";
    const std::string host = hostRootOf(root);
    if (host.empty()) continue;
    // The table was made at start-up; mounts change, so check again what is there now.
    struct stat st {};
    struct statvfs vfs {};
    struct statfs fs {};
    if (::stat(host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
    if (::statvfs(host.c_str(), &vfs) != 0 || (vfs.f_flag & ST_RDONLY) != 0) continue;
    if (::statfs(host.c_str(), &fs) != 0) continue;
    const auto magic = static_cast<unsigned long>(fs.f_type);
    if (isExcludedMagic(magic)) continue;
    if (magic == FUSE_SUPER_MAGIC) {
      // FUSE serves both local disks (fuseblk) and network file systems.
      const std::optional<MountEntry> mount = mountOfDevice(st.st_dev);
      if (!mount || mount->type != "fuseblk") continue;
    }
    // Removable media are no fixed drives; C:, the home folder, always is one.
    if (letter != L'C' && isRemovableDevice(blockDeviceOfVolume(sysfsRoot(), host))) continue;
    roots.push_back(root);
  }
  return roots;
}

std::string volumeDeviceNumber(const std::wstring& drive) {
  const std::wstring root = driveRootOf(drive.substr(0, 2));
  const std::string host = root.empty() ? std::string() : hostRootOf(root);
  struct stat st {};
  if (host.empty() || ::stat(host.c_str(), &st) != 0) return {};
  return deviceNumberText(st.st_dev);
}

bool isSolidStateDevice(const std::string& majorMinor) {
  const std::string sysfs = sysfsRoot();
  const std::set<std::string> disks = disksOfDevice(sysfs, majorMinor);
  if (disks.empty()) return false;
  for (const std::string& disk : disks) {
    if (!discardCapable(sysfs, disk)) return false;  // a volume spanning a hard disk is not solid-state
  }
  return true;
}

bool isRemovableDevice(const std::string& majorMinor) {
  const std::string sysfs = sysfsRoot();
  for (const std::string& disk : disksOfDevice(sysfs, majorMinor)) {
    if (removableMedia(sysfs, disk)) return true;
  }
  return false;
}

bool isSsd(const std::wstring& drive) {
  if (const std::optional<StatedVolume> stated = volume::statedVolume(drive.substr(0, 2))) return stated->ssd;
  const std::wstring root = driveRootOf(drive.substr(0, 2));
  const std::string host = root.empty() ? std::string() : hostRootOf(root);
  return isSolidStateDevice(blockDeviceOfVolume(sysfsRoot(), host));
}

}  // namespace helper::disk
