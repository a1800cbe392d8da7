#include "utility/skin/skin_archive.h"

#include <algorithm>

#include "utility/skin/resources.h"
#include "utility/skin/skin_archive_7z.h"
#include "utility/system/log.h"
#include "utility/system/ufile.h"

namespace utility {

namespace {

// Reads a whole file named by a Windows path text. False when it is not a regular file (a
// folder or FIFO counts as missing), is empty or larger than |maxSize|, or does not read
// completely.
bool readDiskFile(const std::wstring& path, uint64_t maxSize, std::vector<uint8_t>& out) {
  return ufile::readFile(path, maxSize, out) && !out.empty();
}

bool endsWithSeparator(const std::wstring& path) {
  return !path.empty() && (path.back() == L'\\' || path.back() == L'/');
}

}  // namespace

SkinArchive& SkinArchive::instance() {
  static SkinArchive archive;
  return archive;
}

void SkinArchive::loadFromResource(int id, const std::wstring& tableFile, const TableSink& table) {
  const std::span<const uint8_t> resource = findResource(kResourceType, id);
  // A damaged archive keeps what was stored before the damage; nothing more can be done here.
  if (!resource.empty()) loadFromMemory(resource);
  loadTable(ufile::moduleDir(), tableFile, table);
}

bool SkinArchive::loadFromMemory(std::span<const uint8_t> archive) {
  const SevenZipLimits limits;
  const SevenZipResult result = unpack7z(archive, [this](std::wstring path, std::vector<uint8_t> bytes) {
    files_[std::move(path)] = std::move(bytes);
  }, limits);
  // Without its skin the installer cannot build its windows: say why in the log.
  switch (result) {
    case SevenZipResult::ok:
      return true;
    case SevenZipResult::damaged:
      common::logPrint("utility::SkinArchive::loadFromMemory", __LINE__,
                       L"skin archive damaged, %d files kept", static_cast<int>(files_.size()));
      break;
    case SevenZipResult::tooManyEntries:
      common::logPrint("utility::SkinArchive::loadFromMemory", __LINE__,
                       L"skin archive refused: more than %u entries, %d files kept", limits.maxEntries,
                       static_cast<int>(files_.size()));
      break;
    case SevenZipResult::tooLarge:
      common::logPrint("utility::SkinArchive::loadFromMemory", __LINE__,
                       L"skin archive refused: more than %I64d bytes unpacked, %d files kept",
                       static_cast<long long>(limits.maxUnpackedBytes), static_cast<int>(files_.size()));
      break;
  }
  return false;
}

bool SkinArchive::loadTable(const std::wstring& moduleDir, const std::wstring& tableFile,
                            const TableSink& table) const {
  std::wstring besideExecutable = moduleDir;
  if (!besideExecutable.empty() && !endsWithSeparator(besideExecutable)) besideExecutable += L'\\';
  besideExecutable += tableFile;
  std::vector<uint8_t> bytes;
  uint64_t size = 0;
  // fileSize answers only for a regular file: a folder or FIFO of that name counts as missing.
  if (!moduleDir.empty() && ufile::fileSize(besideExecutable, size)) {
    // The file beside the executable alone decides, even when it is unusable.
    if (size < 1 || size > kMaxTableFileSize) return false;
    if (!readDiskFile(besideExecutable, kMaxTableFileSize, bytes)) return false;
  } else {
    bytes = loadFile(tableFile);
    if (bytes.size() <= 10) return false;
  }
  if (table) table(bytes);
  return true;
}

void SkinArchive::setSkinFolder(const std::wstring& folder) {
  skinFolder_.clear();
  if (folder.empty() || !ufile::exists(folder)) return;
  skinFolder_ = folder;
  if (!endsWithSeparator(skinFolder_)) skinFolder_ += L'\\';
}

std::vector<uint8_t> SkinArchive::loadFile(const std::wstring& path) const {
  std::vector<uint8_t> bytes;
  if (path.empty()) return bytes;
  constexpr uint64_t kAnySize = UINT64_MAX;
  if (path.size() > 1 && path[1] == L':') {
    if (readDiskFile(path, kAnySize, bytes)) return bytes;
  } else if (!skinFolder_.empty()) {
    if (readDiskFile(skinFolder_ + path, kAnySize, bytes)) return bytes;
  }
  std::wstring archivePath = path;
  std::replace(archivePath.begin(), archivePath.end(), L'\\', L'/');
  const auto it = files_.find(archivePath);
  if (it != files_.end()) bytes = it->second;
  return bytes;
}

std::vector<std::wstring> SkinArchive::paths() const {
  std::vector<std::wstring> out;
  out.reserve(files_.size());
  for (const auto& entry : files_) out.push_back(entry.first);
  return out;
}

void SkinArchive::resetForTesting() {
  files_.clear();
  skinFolder_.clear();
}

}  // namespace utility
