#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "utility/dev_overrides.h"
#include "utility/drive_table.h"

namespace utility {

std::string homeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
  if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) {
    return pw->pw_dir;
  }
  return "/";
}

namespace {

// Mount points in /proc/self/mountinfo are written with octal escapes for blanks and the like.
std::string unescapeMountField(const std::string& field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && std::isdigit(static_cast<unsigned char>(field[i + 1]))) {
      out.push_back(static_cast<char>(std::strtol(field.substr(i + 1, 3).c_str(), nullptr, 8)));
      i += 3;
    } else {
      out.push_back(field[i]);
    }
  }
  return out;
}

bool isNetworkOrPseudo(const std::string& type) {
  static const std::set<std::string> kExcluded = {
      "nfs", "nfs4", "cifs", "smb3", "smbfs", "ceph", "glusterfs", "9p", "fuse.sshfs", "afs",
      "tmpfs", "ramfs", "devtmpfs", "proc", "sysfs", "overlay", "squashfs", "iso9660", "udf"};
  return kExcluded.count(type) > 0;
}

}  // namespace

std::vector<Drive> detectDriveTable() {
  if (auto spec = devOverride("TARNWICK_DRIVES")) {
    std::vector<Drive> drives = parseDriveTable(*spec);
    if (!drives.empty()) return drives;
  }
  std::vector<Drive> drives;
  drives.push_back({L'C', homeFolder(), {}, {}});
  while (drives[0].root.size() > 1 && drives[0].root.back() == '/') drives[0].root.pop_back();

  std::ifstream mountinfo("/proc/self/mountinfo");
  std::string line;
  std::set<std::string> seenDevices;
  wchar_t next = L'D';
  while (std::getline(mountinfo, line) && next <= L'Z') {
    // id parent major:minor root mountpoint options [optional...] - type source superoptions
    const size_t dash = line.find(" - ");
    if (dash == std::string::npos) continue;
    std::istringstream head(line.substr(0, dash));
    std::istringstream tail(line.substr(dash + 3));
    std::string id, parent, majorMinor, root, mountPoint, options, type, source, superOptions;
    head >> id >> parent >> majorMinor >> root >> mountPoint >> options;
    tail >> type >> source >> superOptions;
    if (root != "/") continue;                        // a bind mount of part of a file system
    if (options.rfind("rw", 0) != 0) continue;        // read-only mount
    if (superOptions.rfind("ro", 0) == 0 && (superOptions.size() == 2 || superOptions[2] == ',')) continue;
    if (source.rfind("/dev/", 0) != 0) continue;      // not backed by a block device
    if (isNetworkOrPseudo(type)) continue;
    const std::string point = unescapeMountField(mountPoint);
    struct stat st {};
    if (stat(point.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
    if (!seenDevices.insert(majorMinor).second) continue;
    drives.push_back({next++, point, type, unescapeMountField(source)});
  }
  return drives;
}

}  // namespace utility
