// Drive letters and the folders they stand for. On Windows they are the system's own: the table
// lists the fixed drives and Windows path texts are the system's paths as they are. On a system
// without drive letters, C: is the user's home folder, and every other writable local file
// system on storage (a block device, a btrfs subvolume, a ZFS dataset) gets the next letter at
// its mount point, in mount order; Windows path texts ("D:\Tarnwick\Tarnwick9\") are
// translated at the file-system boundary only. Development builds may replace the table there
// ("TARNWICK_DRIVES=C=/a;D=/b").
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "utility/system/host_path.h"

namespace utility {

struct Drive {
  wchar_t letter;         // upper case
  std::string root;       // host folder, without trailing "/" (except "/" itself); "X:\" on Windows
  std::string fsType;     // file-system type ("ext4", "vfat", "NTFS", ...), empty when unknown
  std::string device;     // backing device ("/dev/vda1", "\\.\X:"), empty when unknown
};

// A copy of the current table: tests and refreshes may replace it at any time.
std::vector<Drive> driveTable();

// Parses "C=/home/u;D=/mnt/data" (";" or "," between entries). Bad entries are skipped.
std::vector<Drive> parseDriveTable(const std::string& text);

// The table this machine has, detected by the platform part (the table of the process is
// detected once, on first use).
std::vector<Drive> detectDriveTable();

// Tests: replace the table for this process (an empty vector restores the detected one).
void setDriveTableForTesting(std::vector<Drive> drives);

// The system's path for a Windows path text; empty when the text holds a NUL. On Windows the
// text itself. Elsewhere "X:\a\b" -> "<root of X>/a/b", with "." and ".." resolved inside the
// drive ("C:\..\x" is "<root of C>/x"); other texts with "\" turned into "/"; empty when the
// drive letter is unknown.
HostPath toHostPath(const std::wstring& path);
// The Windows text of a path of the system. On Windows the path itself. Elsewhere, under a
// drive's root it becomes "X:\..." (the deepest root wins); otherwise the host path itself.
std::wstring fromHostPath(const HostPath& hostPath);

}  // namespace utility
