#include "utility/system/linux/drive_table_linux.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <set>
#include <string_view>

#include "utility/base/strings.h"
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

HostPath toHostPath(const std::wstring& path) {
  // No file name holds a NUL; cut at one, a checked path would name another file.
  if (path.find(L'\0') != std::wstring::npos) return {};
  std::string host;
  if (path.size() >= 2 && path[1] == L':' &&
      ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'))) {
    const wchar_t letter = path[0] >= L'a' ? static_cast<wchar_t>(path[0] - L'a' + L'A') : path[0];
    const std::vector<Drive> table = driveTable();
    const Drive* drive = nullptr;
    for (const Drive& d : table) {
      if (d.letter == letter) drive = &d;
    }
    if (drive == nullptr || drive->root.empty()) return {};
    host = drive->root;
    // "." and ".." are resolved here so that no path leaves the drive's root folder: ".." at
    // the root stays there, as "C:\..\x" is "C:\x" on Windows.
    const std::string rest = wideToUtf8(path.substr(2));
    std::vector<std::string_view> parts;
    for (size_t start = 0; start <= rest.size();) {
      size_t end = rest.find_first_of("\\/", start);
      if (end == std::string::npos) end = rest.size();
      const std::string_view part(rest.data() + start, end - start);
      if (part == "..") {
        if (!parts.empty()) parts.pop_back();
      } else if (!part.empty() && part != ".") {
        parts.push_back(part);
      }
      start = end + 1;
    }
    const bool trailing = !rest.empty() && (rest.back() == '\\' || rest.back() == '/');
    for (const std::string_view part : parts) {
      if (host.back() != '/') host.push_back('/');
      host += part;
    }
    // "X:\" names the root folder itself; a folder text keeps its trailing separator.
    if ((parts.empty() ? path.size() > 2 : trailing) && host.back() != '/') host.push_back('/');
    return host;
  }
  host = wideToUtf8(path);
  for (char& c : host) {
    if (c == '\\') c = '/';
  }
  return host;
}

std::wstring fromHostPath(const HostPath& path) {
  const std::string& hostPath = path.native();
  const std::vector<Drive> table = driveTable();
  const Drive* best = nullptr;
  for (const Drive& d : table) {
    const std::string& root = d.root;
    const bool under = root == "/" ? (!hostPath.empty() && hostPath[0] == '/')
                                   : hostPath.compare(0, root.size(), root) == 0 &&
                                         (hostPath.size() == root.size() || hostPath[root.size()] == '/');
    if (under && (best == nullptr || root.size() > best->root.size())) best = &d;
  }
  if (best == nullptr) return hostTextToWide(hostPath);
  std::string rest = best->root == "/" ? hostPath.substr(1) : hostPath.substr(best->root.size());
  size_t skip = 0;
  while (skip < rest.size() && rest[skip] == '/') ++skip;
  rest.erase(0, skip);
  std::wstring text;
  text.push_back(best->letter);
  text += L":\\";
  std::wstring tail = hostTextToWide(rest);
  for (wchar_t& c : tail) {
    if (c == L'/') c = L'\\';
  }
  return text + tail;
}

}  // namespace utility
