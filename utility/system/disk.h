// Disk facts for choosing and checking an installation folder, and the desktop shortcut.
// Paths are Windows texts ("D:\Tarnwick\"); drive roots are "X:\". Every function is
// stateless and may run on any thread. Disk queries never report errors: a failed free-space
// query is 0 MiB, an unreadable file-system name counts as accepted, an unknown disk is not
// solid-state.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace helper {
namespace disk {

// Solid-state drives with more free space than this (whole MiB) get their score boosted.
inline constexpr double kSsdBoostMiB = 17408.0;

// Roots ("C:\", "D:\", ...) of the usable local drives, in letter order: writable, local, not
// on removable media (C:, the home folder, always counts).
std::vector<std::wstring> fixedDrives();

// Free MiB the user may use on the volume of the path's root (its first three characters);
// 0 when the query fails.
double freeSpaceMiB(const std::wstring& path);
// As freeSpaceMiB, but 0 also when the volume's file system is not accepted.
double usableFreeSpaceMiB(const std::wstring& path);
// Whether the disk behind the drive ("C:") supports TRIM.
bool isSsd(const std::wstring& drive);

// The drive's free MiB, times 1000 on a solid-state disk with more than kSsdBoostMiB free;
// 0 when the free space is unknown or the file system is not accepted (then |isSsd| is left as
// it was).
double driveScore(const std::wstring& root, bool& isSsd);
// The fixed drive with the highest score; ties keep the earlier drive. With no drive the
// outputs are left as they were.
void bestInstallDrive(std::wstring& root, bool& isSsd);

// Lower case ("A" to "Z"), "/" turned into "\", runs of "\" collapsed, no "\" at either end.
std::wstring normalizePath(const std::wstring& path);
// Why a folder cannot hold the installation.
enum class InstallPathProblem {
  none,
  notOnADrive,        // no drive root, or a drive that does not exist
  noFreeSpace,        // the drive has no byte left
  invalidCharacters,  // one of the characters not allowed in a folder name
  blankFolderName,    // a folder name of blanks only
  tooLong,            // a folder name above the file-name limit, or more than kMaxInstallPathUnits
  notAFolder,         // a file stands where a folder of the path must be
  notWritable,        // the folder (or where it would be made) refuses this user
};
// The longest installation folder, in UTF-16 units: its registry value is read back into a
// 2048-byte buffer, terminator included.
inline constexpr size_t kMaxInstallPathUnits = 1023;
// The first problem of |path| in this order: drive root with free space, the characters not
// allowed, pieces of blanks only, lengths, then what the file system says of the folder.
InstallPathProblem installPathProblem(const std::wstring& path);
// A short English name of |problem| for the log ("no such drive", ...).
const wchar_t* installPathProblemName(InstallPathProblem problem);
// installPathProblem(path) == none.
bool isValidInstallPath(const std::wstring& path);

// Writes a desktop launcher named after |linkName| that runs |targetFile| with |arguments|
// (a Windows command line) in |workingFolder|, showing |iconFile|. An existing launcher of the
// same name is replaced. Returns false (and logs) when no launcher was written.
bool createShortcut(const std::wstring& linkName, const std::wstring& iconFile,
                    const std::wstring& workingFolder, const std::wstring& targetFile,
                    const std::wstring& arguments);
// Where createShortcut puts the launcher for |linkName| (a ".desktop" file on Linux, a ".lnk" on
// Windows) as a Windows path text; empty when the name leaves nothing usable or no desktop is
// known.
std::wstring desktopShortcutPath(const std::wstring& linkName);

// --- The rules behind the queries (no system calls) ---

// The path's drive root when it starts with one ("X:" followed by "\" or "/", or "X:" alone);
// otherwise empty. Relative texts never name a volume.
std::wstring driveRootOf(const std::wstring& path);
// The Windows name of a kernel file-system type: ext2/3/4, xfs, btrfs, f2fs -> "NTFS",
// vfat/msdos -> "FAT32", anything else its own name.
std::wstring windowsFileSystemName(const std::string& kernelType);
bool isAcceptedFileSystem(const std::wstring& name);
// The score of a volume from its facts; |ssd| is asked only for accepted volumes with free
// space known, and stored in |isSsd| then.
double volumeScore(std::optional<double> freeMiB, const std::optional<std::wstring>& fileSystem,
                   const std::function<bool()>& ssd, bool& isSsd);
// Picks the root with the strictly highest score, in order.
void pickBestDrive(const std::vector<std::wstring>& roots,
                   const std::function<double(const std::wstring&, bool&)>& score, std::wstring& root,
                   bool& isSsd);

// --- Tests: stated facts of a drive instead of the volume's ---
struct StatedVolume {
  double freeMiB = 0;
  std::wstring fileSystem = L"NTFS";
  bool ssd = false;
};
// The facts of the drives in |volumes| (by upper-case letter) are answered from there; an empty
// map asks the volumes again.
void setStatedVolumesForTesting(std::map<wchar_t, StatedVolume> volumes);

}  // namespace disk
}  // namespace helper
