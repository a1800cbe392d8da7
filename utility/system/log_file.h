// The log's file on disk: opened for reading and appending, never through a link, never
// inherited by child processes, and only when it is a regular file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "utility/system/host_path.h"
#include "utility/system/platform_file.h"

namespace common {

class LogFile {
 public:
  LogFile() = default;
  ~LogFile();
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // Opens (or creates) the file |hostPath| of this system; false when it cannot be opened or is
  // not a regular file.
  bool open(const utility::HostPath& hostPath);
  bool isOpen() const { return file_.valid(); }
  void close();

  // Appends all |n| bytes at the end of the file.
  bool append(const char* bytes, size_t n);
  // The current size, or -1 when it cannot be read.
  int64_t size() const;
  // Reads up to |n| bytes from |offset|; returns how many were read.
  size_t readAt(uint64_t offset, char* out, size_t n) const;
  // Makes |bytes| the whole content of the file (empties it when |n| is 0).
  bool replaceContent(const char* bytes, size_t n);

 private:
  utility::PlatformFile file_;
};

}  // namespace common
