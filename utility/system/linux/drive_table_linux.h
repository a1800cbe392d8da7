// The drive table's platform part: the user's home folder that is C:, and the mounts that become
// the further drives.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "utility/system/drive_table.h"

namespace utility {

// $HOME when it is absolute, else the password database's home folder, else "/".
std::string homeFolder();

// The drives among the mounts listed in |mountinfo| (the text of /proc/self/mountinfo), lettered
// from |first| on: writable local file systems on storage (block devices, btrfs subvolumes, ZFS
// datasets, bcachefs), each mounted tree once; |isFolder| vets the mount points (null: all pass).
std::vector<Drive> drivesFromMountInfo(const std::string& mountinfo, wchar_t first,
                                       const std::function<bool(const std::string&)>& isFolder);

}  // namespace utility
