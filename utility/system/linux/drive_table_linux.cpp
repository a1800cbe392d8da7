#include "utility/system/linux/drive_table_linux.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <set>
#include <string_view>

#include "utility/system/dev_overrides.h"
#include "utility/system/linux/mount_info_linux.h"

namespace utility {

namespace {

// File systems that are never a local drive, whatever backs them.
bool isNetworkOrPseudo(const std::string& type) {
  static const std::set<std::string> kExcluded = {
      "nfs", "nfs4", "cifs", "smb3", "smbfs", "ceph", "glusterfs", "9p", "afs", "lustre", "ncpfs",
      "coda", "davfs", "virtiofs", "tmpfs", "ramfs", "devtmpfs", "proc", "sysfs", "overlay",
      "squashfs", "erofs", "cramfs", "iso9660", "udf", "autofs"};
  // FUSE on a local disk reports "fuseblk"; any other FUSE file system (sshfs, rclone, ...) may
  // be anywhere.
  return kExcluded.count(type) > 0 || type == "fuse" || type.rfind("fuse.", 0) == 0;
}

// Local file systems whose mounts name no block device (ZFS datasets, multi-device pools).
bool isPooledLocal(const std::string& type) {
  return type == "btrfs" || type == "zfs" || type == "bcachefs";
}

bool hasOption(const std::string& options, std::string_view option) {
  size_t start = 0;
  while (start <= options.size()) {
    size_t end = options.find(',', start);
    if (end == std::string::npos) end = options.size();
    if (std::string_view(options).substr(start, end - start) == option) return true;
    start = end + 1;
  }
  return false;
}

std::string optionValue(const std::string& options, const std::string& key) {
  size_t start = 0;
  while (start < options.size()) {
    size_t end = options.find(',', start);
    if (end == std::string::npos) end = options.size();
    if (options.compare(start, key.size() + 1, key + "=") == 0) {
      return options.substr(start + key.size() + 1, end - start - key.size() - 1);
    }
    start = end + 1;
  }
  return {};
}

}  // namespace


std::string homeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
  if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) {
    return pw->pw_dir;
  }
  return "/";
}

std::vector<Drive> drivesFromMountInfo(const std::string& mountinfo, wchar_t first,
                                       const std::function<bool(const std::string&)>& isFolder) {
  std::vector<Drive> drives;
  std::set<std::string> seen;
  wchar_t next = first;
  for (const MountInfoEntry& mount : parseMountInfo(mountinfo)) {
    if (next > L'Z') break;
    const std::string& root = mount.root;
    const std::string& options = mount.options;
    const std::string& type = mount.type;
    const std::string& superOptions = mount.superOptions;
    if (mount.mountPoint.empty() || type.empty()) continue;
    if (hasOption(options, "ro") || hasOption(superOptions, "ro")) continue;
    if (isNetworkOrPseudo(type)) continue;
    if (mount.source.rfind("/dev/", 0) != 0 && !isPooledLocal(type)) continue;  // not backed by storage
    // A bind mount of part of a file system is not a drive of its own; a btrfs subvolume
    // mounted by name is (its root is the subvolume).
    const bool wholeSubvolume = type == "btrfs" && root == optionValue(superOptions, "subvol");
    if (root != "/" && !wholeSubvolume) continue;
    const std::string& point = mount.mountPoint;
    if (isFolder && !isFolder(point)) continue;
    if (!seen.insert(mount.majorMinor + " " + root).second) continue;  // the same tree mounted again
    drives.push_back({next++, point, type, mount.source});
  }
  return drives;
}

std::vector<Drive> detectDriveTable() {
  if (auto text = devOverride("TARNWICK_DRIVES")) {
    std::vector<Drive> drives = parseDriveTable(*text);
    if (!drives.empty()) return drives;
  }
  std::vector<Drive> drives;
  drives.push_back({L'C', homeFolder(), {}, {}});
  while (drives[0].root.size() > 1 && drives[0].root.back() == '/') drives[0].root.pop_back();

  std::ifstream file("/proc/self/mountinfo");
  std::stringstream mountinfo;
  mountinfo << file.rdbuf();
  std::vector<Drive> mounted = drivesFromMountInfo(mountinfo.str(), L'D', [](const std::string& point) {
    struct stat st {};
    return stat(point.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  });
  drives.insert(drives.end(), mounted.begin(), mounted.end());
  return drives;
}

}  // namespace utility
