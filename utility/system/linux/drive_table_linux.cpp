#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "utility/system/dev_overrides.h"
#include "utility/system/drive_table.h"

namespace utility {

std::string homeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
  if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) {
    return pw->pw_dir;
  }
  return "/";
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
