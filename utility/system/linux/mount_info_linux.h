// The system's table of mounted file systems (the text format of /proc/self/mountinfo), read
// by one parser for the drive table and the disk queries.
#pragma once

#include <string>
#include <vector>

namespace utility {

struct MountInfoEntry {
  std::string majorMinor;    // "8:1", the device number of the file system
  std::string root;          // the folder of the file system that is mounted
  std::string mountPoint;    // where it is mounted (escapes decoded)
  std::string options;       // per-mount options ("rw,relatime")
  std::string type;          // "ext4", "fuse.sshfs", ...
  std::string source;        // "/dev/sda1", "server:/export" (escapes decoded)
  std::string superOptions;  // per-file-system options
};

// The entries of a mountinfo text in their order; lines that do not parse are left out.
std::vector<MountInfoEntry> parseMountInfo(const std::string& text);
// The mounts this process sees.
std::vector<MountInfoEntry> currentMounts();

}  // namespace utility
