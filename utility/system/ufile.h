// Small stateless file operations on Windows path texts (translated through the drive table).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "utility/system/host_path.h"
#include "utility/system/platform_file.h"

namespace utility {
namespace ufile {

// The part after the last "\" (or "/" when there is no "\"); empty without separator. Without
// |keepExtension| the text from the last "." on is removed.
std::wstring fileName(const std::wstring& path, bool keepExtension);
// The folder part with its trailing separator (see the rules in the implementation).
std::wstring parentDir(const std::wstring& path);
// The longest file name, in UTF-8 bytes (no more UTF-16 units either).
inline constexpr size_t kMaxFileNameBytes = 255;
// The length of |text| in UTF-8 bytes and in UTF-16 units, whatever the size of wchar_t (a
// surrogate pair is the one character it stands for).
size_t utf8Length(std::wstring_view text);
size_t utf16Length(std::wstring_view text);
// Where a file is written before it replaces |path|: |path| followed by |suffix|, its file name
// cut short (whole characters) where the suffix would make it too long, so the temporary file
// can be made whenever |path| itself can. Never |path| itself.
std::wstring temporaryNameFor(const std::wstring& path, const std::wstring& suffix);

bool exists(const std::wstring& path);
bool fileSize(const std::wstring& path, uint64_t& size);
// The whole content of a regular file of at most |maxSize| bytes. False, with |bytes| empty, for
// anything else: missing or unreadable, a folder, FIFO or device (never waited on), too large.
bool readFile(const std::wstring& path, uint64_t maxSize, std::vector<uint8_t>& bytes);
// Creates the folder and all missing parents; true when it exists afterwards.
bool makeDir(const std::wstring& path);
// Flags: 1 replace an existing target, 2 allow copying across volumes. A copy keeps the
// source's permission bits and takes the target's name only once it is whole on disk.
bool moveFile(const std::wstring& from, const std::wstring& to, unsigned flags);
// Tests: make every move take the copy path used across volumes.
void setAlwaysCopyOnMoveForTesting(bool always);
bool removeFile(const std::wstring& path);
// Downloaded programs: lets everyone who may read the regular file at |path| run it (never
// through a link; set-id bits cleared). False, logged, otherwise.
bool setExecutable(const std::wstring& path);

// Full path of the running executable.
std::wstring moduleFileName();
// Folder of the running executable, with trailing separator.
std::wstring moduleDir();
// The user's roaming application-data folder without trailing "\"; empty when unknown.
std::wstring appDataDir();
// The user's desktop folder without trailing "\"; empty when unknown.
std::wstring desktopDir();
// Tests: the folder |hostPath| of this system answers for the desktop folder (empty restores
// the user's).
void setDesktopDirForTesting(const HostPath& hostPath);

}  // namespace ufile

// A file created for a download, opened for reading and writing and written chunk by chunk. A
// link, folder, FIFO or device at the path is refused and left as it is; otherwise a fresh file,
// created exclusively in the target's folder, replaces whatever file had the name (it is never
// opened, so a hard link planted there is not written through).
class FileHandle {
 public:
  // Windows system error codes of a failed open, as callers log them ("GetLastError").
  static constexpr int kErrorPathNotFound = 3;
  static constexpr int kErrorAccessDenied = 5;
  static constexpr int kErrorNotEnoughMemory = 8;
  static constexpr int kErrorWriteProtect = 19;
  static constexpr int kErrorSharingViolation = 32;
  static constexpr int kErrorFileExists = 80;
  static constexpr int kErrorDiskFull = 112;
  static constexpr int kErrorFilenameTooLong = 206;

  FileHandle() = default;
  ~FileHandle();
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  bool open(const std::wstring& path);
  // The same; on failure |error| holds the system error code.
  bool open(const std::wstring& path, int& error);
  // Opens the partial file an earlier download left at |path| to add to it: only a regular file
  // that is no link and has no other name (a hard link planted there is refused, never written
  // through), at least |keep| bytes long. It is cut to |keep| bytes, each kept byte is handed to
  // |kept| once, in order, and writing goes on after them. On failure |error| holds the system
  // error code.
  bool openToContinue(const std::wstring& path, uint64_t keep,
                      const std::function<void(const char* data, size_t length)>& kept, int& error);
  // Writes the whole chunk; false when not every byte was written.
  bool write(const void* bytes, size_t count);
  void close();
  bool isOpen() const { return file_.valid(); }

 private:
  PlatformFile file_;
};

}  // namespace utility
