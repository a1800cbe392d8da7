// The disk queries' platform part: block devices behind a volume, read from sysfs.
#pragma once

#include <string>

namespace helper {
namespace disk {

// The device number ("major:minor") of the file system at the drive's root, as the kernel
// reports it for files there; empty when the drive is unknown.
std::string volumeDeviceNumber(const std::wstring& drive);
// Whether every disk behind the block device "major:minor" supports TRIM (partitions,
// device-mapper and md devices resolved to their disks). False when no disk is found.
bool isSolidStateDevice(const std::string& majorMinor);
// Whether any disk behind the device "major:minor" holds removable media (a USB stick, a
// memory card); such volumes are no fixed drives.
bool isRemovableDevice(const std::string& majorMinor);

// Tests: read disk facts below |root| instead of "/sys" (empty restores it).
void setSysfsRootForTesting(const std::string& root);

}  // namespace disk
}  // namespace helper
