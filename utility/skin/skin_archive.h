// The skin: window layouts, images and language files packed into the executable as one 7z
// archive (resource "ZIPRES" 129), unpacked once into memory at start-up. A folder "skin" beside
// the executable, when it exists, overrides single files; a "multi_language.tsv" beside the
// executable overrides the text table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <vector>

namespace utility {

class SkinArchive {
 public:
  // Receives the bytes of the text table found at start-up.
  using TableSink = std::function<void(std::span<const uint8_t> bytes)>;

  static constexpr int kResourceId = 129;
  static constexpr const wchar_t* kResourceType = L"ZIPRES";
  // A table file beside the executable is used up to this size.
  static constexpr uint64_t kMaxTableFileSize = 4194304;

  SkinArchive() = default;
  SkinArchive(const SkinArchive&) = delete;
  SkinArchive& operator=(const SkinArchive&) = delete;

  // The archive of the process (main thread).
  static SkinArchive& instance();

  // Start-up: unpacks resource "ZIPRES" |id| (when present and not empty), then finds the table
  // file |tableFile| (beside the executable first, else through loadFile) and hands its bytes
  // to |table|.
  void loadFromResource(int id, const std::wstring& tableFile, const TableSink& table);

  // Unpacks a 7z archive held in memory: every non-empty file, checked against its CRC32, is
  // stored under its archive path (a later entry of the same path replaces an earlier one).
  // Returns false when the archive is damaged; the files stored before the damage stay.
  bool loadFromMemory(std::span<const uint8_t> archive);

  // The table rule with an explicit folder for the executable (loadFromResource passes the
  // executable's own folder): a file |tableFile| there is used alone when it holds 1 byte to
  // 4 MiB and reads completely (otherwise no table); without it (a folder or FIFO of that name
  // counts as none) the skin's own file is used when it has more than 10 bytes. Returns whether
  // bytes were handed to |table|.
  bool loadTable(const std::wstring& moduleDir, const std::wstring& tableFile,
                 const TableSink& table) const;

  // Sets the skin folder; it is kept (with a trailing "\") only when it exists now, else
  // cleared. The folder's files take precedence over the archive's.
  void setSkinFolder(const std::wstring& folder);
  const std::wstring& skinFolder() const { return skinFolder_; }

  // The bytes of a skin file, or an empty buffer when there is none:
  // - a drive-qualified path ("D:\x\y.png") is read from disk as it is;
  // - any other path is read from the skin folder when there is one;
  // - a disk read counts only when a regular file is there, not empty, and reads completely
  //   (a folder or FIFO counts as missing);
  // - otherwise the path, "\" turned into "/", is looked up in the archive (case-sensitive).
  std::vector<uint8_t> loadFile(const std::wstring& path) const;

  // What the archive holds.
  bool contains(const std::wstring& archivePath) const { return files_.count(archivePath) != 0; }
  size_t fileCount() const { return files_.size(); }
  std::vector<std::wstring> paths() const;

  // Tests: forget everything.
  void resetForTesting();

 private:
  std::map<std::wstring, std::vector<uint8_t>> files_;
  std::wstring skinFolder_;
};

}  // namespace utility
