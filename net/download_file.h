// A file created (or truncated) for a download and written chunk by chunk. Failures carry the
// Windows system error code the callers log ("GetLastError").
#pragma once

#include <cstddef>
#include <string>

namespace net {

inline constexpr int kErrorFileNotFound = 2;
inline constexpr int kErrorPathNotFound = 3;
inline constexpr int kErrorAccessDenied = 5;
inline constexpr int kErrorNotEnoughMemory = 8;
inline constexpr int kErrorWriteProtect = 19;
inline constexpr int kErrorSharingViolation = 32;
inline constexpr int kErrorFileExists = 80;
inline constexpr int kErrorDiskFull = 112;
inline constexpr int kErrorInsufficientBuffer = 122;
inline constexpr int kErrorFilenameTooLong = 206;

class DownloadFile {
 public:
  DownloadFile() = default;
  ~DownloadFile();
  DownloadFile(const DownloadFile&) = delete;
  DownloadFile& operator=(const DownloadFile&) = delete;

  // Creates or truncates |path| (a Windows path text) for reading and writing. A link, folder,
  // FIFO or device at the path is refused (access denied) and left as it is. On failure |error|
  // holds the system error code.
  bool create(const std::wstring& path, int& error);
  // Writes the whole chunk; false when not every byte was written.
  bool write(const void* data, size_t size);
  void close();
  bool isOpen() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace net
