// Volume facts from the system: fixed drives, free space, file-system names, what the storage
// device says of itself, and whether this user may write in a folder.
#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <vector>

#include "utility/system/disk.h"
#include "utility/system/disk_volume.h"
#include "utility/system/win/disk_win.h"
#include "utility/system/win/file_win.h"

namespace helper::disk {

namespace {

// No "insert a disk" box from the system for a drive without media: a query just fails.
class QuietErrors {
 public:
  QuietErrors() { ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &old_); }
  ~QuietErrors() { ::SetThreadErrorMode(old_, nullptr); }
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;

 private:
  DWORD old_ = 0;
};

bool isDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// "X:\" for a root given as "X:" or "X:\"; empty for anything else.
std::wstring rootText(const std::wstring& root) {
  if (root.size() < 2 || !isDriveLetter(root[0]) || root[1] != L':') return {};
  return root.substr(0, 2) + L"\\";
}

// The volume device of the drive ("\\.\X:"), opened for queries only: no access right is needed
// to ask the storage stack, so this works without administrator rights.
utility::win::ScopedHandle openVolume(const std::wstring& drive) {
  if (drive.size() < 2 || !isDriveLetter(drive[0]) || drive[1] != L':') {
    ::SetLastError(ERROR_INVALID_DRIVE);
    return {};
  }
  const QuietErrors quiet;
  const std::wstring device = L"\\\\.\\" + drive.substr(0, 2);
  return utility::win::ScopedHandle(::CreateFileW(device.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                  OPEN_EXISTING, 0, nullptr));
}

// Asks the device of |drive| for the standard answer of |property|; false with |error| set when
// it does not answer.
template <typename Descriptor>
bool queryProperty(const std::wstring& drive, STORAGE_PROPERTY_ID property, Descriptor& answer, DWORD* error) {
  const utility::win::ScopedHandle volume = openVolume(drive);
  if (!volume.valid()) {
    if (error != nullptr) *error = ::GetLastError();
    return false;
  }
  STORAGE_PROPERTY_QUERY query{};
  query.PropertyId = property;
  query.QueryType = PropertyStandardQuery;
  DWORD returned = 0;
  answer = Descriptor{};
  if (!::DeviceIoControl(volume.get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query), &answer, sizeof(answer),
                         &returned, nullptr)) {
    if (error != nullptr) *error = ::GetLastError();
    return false;
  }
  if (returned < sizeof(answer)) {
    if (error != nullptr) *error = ERROR_INVALID_DATA;
    return false;
  }
  if (error != nullptr) *error = ERROR_SUCCESS;
  return true;
}

bool readOnlyVolume(const std::wstring& root) {
  DWORD flags = 0;
  const QuietErrors quiet;
  return ::GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) &&
         (flags & FILE_READ_ONLY_VOLUME) != 0;
}

// The drive Windows runs from: a fixed drive whatever its device says.
wchar_t systemDriveLetter() {
  wchar_t folder[MAX_PATH + 1] = {};
  const UINT n = ::GetSystemWindowsDirectoryW(folder, MAX_PATH + 1);
  return n >= 2 && folder[1] == L':' ? static_cast<wchar_t>(::towupper(folder[0])) : L'C';
}

// Whether this user may make something in the folder |path|: a folder of a name no one uses is
// made and removed again. This asks the file system itself, so security, read-only media and
// the rules of whatever serves the folder all count.
bool writableFolder(const std::wstring& path) {
  std::wstring probe = path;
  if (probe.back() != L'\\' && probe.back() != L'/') probe += L'\\';
  probe += utility::win::uniqueName(L".tarnwick-check-");
  if (!::CreateDirectoryW(utility::win::systemPath(probe).c_str(), nullptr)) {
    return ::GetLastError() == ERROR_ALREADY_EXISTS;  // a name taken by chance: made by someone, so writable
  }
  ::RemoveDirectoryW(utility::win::systemPath(probe).c_str());
  return true;
}

}  // namespace

namespace win {

std::optional<bool> seekPenaltyOf(const std::wstring& drive, DWORD* error) {
  DEVICE_SEEK_PENALTY_DESCRIPTOR answer{};
  if (!queryProperty(drive, StorageDeviceSeekPenaltyProperty, answer, error)) return std::nullopt;
  return answer.IncursSeekPenalty != FALSE;
}

std::optional<bool> trimEnabledOf(const std::wstring& drive, DWORD* error) {
  DEVICE_TRIM_DESCRIPTOR answer{};
  if (!queryProperty(drive, StorageDeviceTrimProperty, answer, error)) return std::nullopt;
  return answer.TrimEnabled != FALSE;
}

std::optional<bool> solidStateFrom(std::optional<bool> incursSeekPenalty, std::optional<bool> trimEnabled) {
  if (incursSeekPenalty && *incursSeekPenalty) return false;
  if (trimEnabled) return *trimEnabled;
  if (incursSeekPenalty) return true;
  return std::nullopt;
}

std::optional<bool> removableMediaOf(const std::wstring& drive) {
  const utility::win::ScopedHandle volume = openVolume(drive);
  if (!volume.valid()) return std::nullopt;
  STORAGE_HOTPLUG_INFO info{};
  DWORD returned = 0;
  if (!::DeviceIoControl(volume.get(), IOCTL_STORAGE_GET_HOTPLUG_INFO, nullptr, 0, &info, sizeof(info), &returned,
                         nullptr) ||
      returned < sizeof(info)) {
    return std::nullopt;
  }
  return info.MediaRemovable != FALSE;
}

}  // namespace win

namespace volume {

bool freeBytes(const std::wstring& root, uint64_t& bytes) {
  const std::wstring text = rootText(root);
  ULARGE_INTEGER available{};
  const QuietErrors quiet;
  if (text.empty() || !::GetDiskFreeSpaceExW(text.c_str(), &available, nullptr, nullptr)) return false;
  bytes = available.QuadPart;  // what this user may use, quotas counted
  return true;
}

std::optional<std::wstring> fileSystemName(const std::wstring& root) {
  const std::wstring text = rootText(root);
  wchar_t name[MAX_PATH + 1] = {};
  const QuietErrors quiet;
  if (text.empty() ||
      !::GetVolumeInformationW(text.c_str(), nullptr, 0, nullptr, nullptr, nullptr, name, MAX_PATH + 1)) {
    return std::nullopt;
  }
  return std::wstring(name);
}

FolderState folderState(const std::wstring& path) {
  if (path.empty() || path.find(L'\0') != std::wstring::npos) return FolderState::usable;
  std::wstring at = utility::win::withoutTrailingSeparators(path);
  const QuietErrors quiet;
  // Up to the nearest part that exists: a folder to write in, or a file in the way.
  while (!at.empty()) {
    DWORD error = ERROR_SUCCESS;
    if (utility::win::attributesAt(at, &error)) {
      const std::optional<DWORD> followed = utility::win::followedAttributes(at);
      if (!followed || (*followed & FILE_ATTRIBUTE_DIRECTORY) == 0) return FolderState::notAFolder;
      return writableFolder(at) ? FolderState::usable : FolderState::notWritable;
    }
    if (error == ERROR_ACCESS_DENIED) return FolderState::notWritable;
    if (error == ERROR_DIRECTORY) return FolderState::notAFolder;
    const std::wstring parent = utility::win::parentOf(at);
    if (parent.empty() || parent.size() >= at.size()) break;
    at = parent;
  }
  return FolderState::usable;  // no drive answers for it: the drive rules judge
}

}  // namespace volume

std::vector<std::wstring> fixedDrives() {
  std::vector<std::wstring> roots;
  const DWORD needed = ::GetLogicalDriveStringsW(0, nullptr);
  if (needed == 0) return roots;
  std::vector<wchar_t> buffer(needed + 1);
  const DWORD got = ::GetLogicalDriveStringsW(static_cast<DWORD>(buffer.size()), buffer.data());
  if (got == 0 || got >= buffer.size()) return roots;
  const wchar_t systemDrive = systemDriveLetter();
  for (const wchar_t* root = buffer.data(); *root != L'\0'; root += wcslen(root) + 1) {
    const std::wstring text = rootText(root);
    if (text.empty() || ::GetDriveTypeW(text.c_str()) != DRIVE_FIXED) continue;
    if (readOnlyVolume(text)) continue;
    // Removable media (a card or stick the system calls fixed) are no fixed drives; the
    // system's own drive always is one.
    const wchar_t letter = static_cast<wchar_t>(::towupper(text[0]));
    if (letter != systemDrive && win::removableMediaOf(text.substr(0, 2)).value_or(false)) continue;
    roots.push_back(std::wstring(1, letter) + L":\\");
  }
  std::sort(roots.begin(), roots.end());
  return roots;
}

bool isSsd(const std::wstring& drive) {
  if (drive.size() < 2) return false;
  if (const std::optional<StatedVolume> stated = volume::statedVolume(drive.substr(0, 2))) return stated->ssd;
  // A device that answers neither question is not known to be solid-state.
  return win::solidStateFrom(win::seekPenaltyOf(drive.substr(0, 2)), win::trimEnabledOf(drive.substr(0, 2)))
      .value_or(false);
}

}  // namespace helper::disk
