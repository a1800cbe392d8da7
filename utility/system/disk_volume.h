// The volume queries behind helper::disk, one implementation per platform (disk_linux.cpp).
// Roots are drive roots as helper::disk::driveRootOf gives them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "utility/system/disk.h"

namespace helper {
namespace disk {
namespace volume {

// Bytes available to the calling user; false when the query fails.
bool freeBytes(const std::wstring& root, uint64_t& bytes);
// The Windows name of the volume's file system; nothing when it cannot be read.
std::optional<std::wstring> fileSystemName(const std::wstring& root);

// What the file system says of the folder at |path| (a Windows path text on a known drive):
// usable when it exists as a folder this user may write to, or when its nearest existing
// parent is one; notAFolder when a file stands in its way. A path no host folder answers for is
// usable here (the drive rules judge it).
enum class FolderState { usable, notAFolder, notWritable };
FolderState folderState(const std::wstring& path);

// The stated facts of the drive of |root| ("X:" or "X:\\"), when a test stated them.
std::optional<StatedVolume> statedVolume(const std::wstring& root);

}  // namespace volume
}  // namespace disk
}  // namespace helper
