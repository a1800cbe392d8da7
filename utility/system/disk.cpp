// Drive scores, the best drive and the installation-path rules.
#include "utility/system/disk.h"

#include <cmath>
#include <mutex>

#include "utility/system/disk_volume.h"
#include "utility/base/strings.h"
#include "utility/system/ufile.h"

namespace helper::disk {

namespace {

constexpr double kBytesPerMiB = 1048576.0;
constexpr const wchar_t* kNotAllowed = L"/:*?\"<>|";

bool isDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

void replaceAll(std::wstring& text, const std::wstring& from, const std::wstring& to) {
  // Repeats until none is left, as the rules say ("\\\" collapses to "\").
  for (size_t hit = text.find(from); hit != std::wstring::npos; hit = text.find(from)) {
    text.replace(hit, from.size(), to);
  }
}

std::mutex gStatedMutex;
std::map<wchar_t, StatedVolume> gStated;

bool freeBytesOf(const std::wstring& root, uint64_t& bytes) {
  if (const std::optional<StatedVolume> stated = volume::statedVolume(root)) {
    bytes = static_cast<uint64_t>(stated->freeMiB * kBytesPerMiB);
    return true;
  }
  return volume::freeBytes(root, bytes);
}

std::optional<std::wstring> fileSystemOf(const std::wstring& root) {
  if (const std::optional<StatedVolume> stated = volume::statedVolume(root)) return stated->fileSystem;
  return volume::fileSystemName(root);
}

}  // namespace

void setStatedVolumesForTesting(std::map<wchar_t, StatedVolume> volumes) {
  std::lock_guard<std::mutex> lock(gStatedMutex);
  gStated = std::move(volumes);
}

std::optional<StatedVolume> volume::statedVolume(const std::wstring& root) {
  if (root.empty()) return std::nullopt;
  std::lock_guard<std::mutex> lock(gStatedMutex);
  if (gStated.empty()) return std::nullopt;
  const wchar_t letter = root[0] >= L'a' && root[0] <= L'z' ? static_cast<wchar_t>(root[0] - L'a' + L'A') : root[0];
  const auto found = gStated.find(letter);
  if (found == gStated.end()) return std::nullopt;
  return found->second;
}

std::wstring driveRootOf(const std::wstring& path) {
  if (path.size() < 2 || !isDriveLetter(path[0]) || path[1] != L':') return {};
  if (path.size() == 2) return path;
  if (path[2] != L'\\' && path[2] != L'/') return {};
  return path.substr(0, 3);
}

std::wstring windowsFileSystemName(const std::string& kernelType) {
  // The native journaled file systems play the part of NTFS; FAT stays FAT.
  static const char* const kNative[] = {"ext2", "ext3", "ext4", "xfs", "btrfs", "f2fs"};
  for (const char* native : kNative) {
    if (kernelType == native) return L"NTFS";
  }
  if (kernelType == "vfat" || kernelType == "msdos") return L"FAT32";
  return utility::utf8ToWide(kernelType);
}

bool isAcceptedFileSystem(const std::wstring& name) { return name == L"FAT32" || name == L"NTFS"; }

double volumeScore(std::optional<double> freeMiB, const std::optional<std::wstring>& fileSystem,
                   const std::function<bool()>& ssd, bool& isSsd) {
  if (!freeMiB) return 0;
  if (fileSystem && !isAcceptedFileSystem(*fileSystem)) return 0;
  double score = *freeMiB;
  isSsd = ssd();
  if (isSsd && std::trunc(*freeMiB) > kSsdBoostMiB) score *= 1000;
  return score;
}

void pickBestDrive(const std::vector<std::wstring>& roots,
                   const std::function<double(const std::wstring&, bool&)>& score, std::wstring& root,
                   bool& isSsd) {
  double best = -1;
  for (const std::wstring& candidate : roots) {
    bool ssd = false;
    const double s = score(candidate, ssd);
    if (s > best) {
      best = s;
      root = candidate;
      isSsd = ssd;
    }
  }
}

double freeSpaceMiB(const std::wstring& path) {
  uint64_t bytes = 0;
  const std::wstring root = driveRootOf(path);
  if (root.empty() || !freeBytesOf(root, bytes)) return 0;
  return static_cast<double>(bytes) / kBytesPerMiB;
}

double usableFreeSpaceMiB(const std::wstring& path) {
  uint64_t bytes = 0;
  const std::wstring root = driveRootOf(path);
  if (root.empty() || !freeBytesOf(root, bytes)) return 0;
  const std::optional<std::wstring> fileSystem = fileSystemOf(root);
  if (fileSystem && !isAcceptedFileSystem(*fileSystem)) return 0;
  return static_cast<double>(bytes) / kBytesPerMiB;
}

double driveScore(const std::wstring& root, bool& isSsd) {
  const std::wstring volumeRoot = driveRootOf(root);
  uint64_t bytes = 0;
  std::optional<double> freeMiB;
  std::optional<std::wstring> fileSystem;
  if (!volumeRoot.empty() && freeBytesOf(volumeRoot, bytes)) {
    freeMiB = static_cast<double>(bytes) / kBytesPerMiB;
    fileSystem = fileSystemOf(volumeRoot);
  }
  return volumeScore(
      freeMiB, fileSystem, [&] { return helper::disk::isSsd(volumeRoot.substr(0, 2)); }, isSsd);
}

void bestInstallDrive(std::wstring& root, bool& isSsd) {
  pickBestDrive(fixedDrives(), driveScore, root, isSsd);
}

std::wstring normalizePath(const std::wstring& path) {
  std::wstring text = path;
  utility::toLower(text);
  replaceAll(text, L"/", L"\\");
  replaceAll(text, L"\\\\", L"\\");
  size_t lead = 0;
  while (lead < text.size() && text[lead] == L'\\') ++lead;
  text.erase(0, lead);
  while (!text.empty() && text.back() == L'\\') text.pop_back();
  return text;
}

InstallPathProblem installPathProblem(const std::wstring& path) {
  std::wstring text = normalizePath(path);
  utility::trim(text);
  // Normalising strips the backslash of a bare root ("c:\" -> "c:"); a path that named the
  // root itself keeps it, so a drive root stays a valid path while "c:" alone does not.
  if (text.size() == 2 && text[1] == L':') {
    std::wstring named = path;
    utility::trim(named);
    replaceAll(named, L"/", L"\\");
    while (!named.empty() && named.front() == L'\\') named.erase(0, 1);
    if (named.size() > 2 && named[2] == L'\\') text += L'\\';
  }
  if (text.size() < 3) return InstallPathProblem::notOnADrive;
  const std::wstring root = driveRootOf(text.substr(0, 3));
  if (root.empty()) return InstallPathProblem::notOnADrive;
  uint64_t bytes = 0;
  if (!freeBytesOf(root, bytes)) return InstallPathProblem::notOnADrive;
  if (bytes == 0) return InstallPathProblem::noFreeSpace;

  std::wstring rest = text.substr(3);
  utility::trim(rest);
  if (rest.find_first_of(kNotAllowed) != std::wstring::npos) return InstallPathProblem::invalidCharacters;
  size_t start = 0;
  for (size_t slash = rest.find(L'\\'); slash != std::wstring::npos; slash = rest.find(L'\\', start)) {
    std::wstring piece = rest.substr(start, slash - start);
    utility::trim(piece);
    if (piece.empty()) return InstallPathProblem::blankFolderName;
    start = slash + 1;
  }

  // Lengths of the text as given (normalising changed only case and separators).
  for (size_t at = 0; at <= path.size();) {
    size_t end = path.find_first_of(L"\\/", at);
    if (end == std::wstring::npos) end = path.size();
    const std::wstring_view piece = std::wstring_view(path).substr(at, end - at);
    if (utility::ufile::utf8Length(piece) > utility::ufile::kMaxFileNameBytes) return InstallPathProblem::tooLong;
    at = end + 1;
  }
  if (utility::ufile::utf16Length(path) > kMaxInstallPathUnits) return InstallPathProblem::tooLong;

  switch (volume::folderState(path)) {
    case volume::FolderState::notAFolder:
      return InstallPathProblem::notAFolder;
    case volume::FolderState::notWritable:
      return InstallPathProblem::notWritable;
    case volume::FolderState::usable:
      break;
  }
  return InstallPathProblem::none;
}

const wchar_t* installPathProblemName(InstallPathProblem problem) {
  switch (problem) {
    case InstallPathProblem::none: return L"usable";
    case InstallPathProblem::notOnADrive: return L"no such drive";
    case InstallPathProblem::noFreeSpace: return L"no free space";
    case InstallPathProblem::invalidCharacters: return L"characters not allowed";
    case InstallPathProblem::blankFolderName: return L"a folder name of blanks";
    case InstallPathProblem::tooLong: return L"too long";
    case InstallPathProblem::notAFolder: return L"a file where a folder must be";
    case InstallPathProblem::notWritable: return L"not writable";
  }
  return L"unknown";
}

bool isValidInstallPath(const std::wstring& path) { return installPathProblem(path) == InstallPathProblem::none; }

}  // namespace helper::disk
