// File-system facts the tests need that the standard library does not give.
#pragma once

#include <string>

namespace testfs {

// Creates a FIFO at |path|.
bool makeFifo(const std::string& path);

// Descriptors of this process open on |path|, and how many of them a child process would inherit.
struct OpenDescriptors {
  int total = 0;
  int inherited = 0;
};
OpenDescriptors descriptorsOn(const std::string& path);

// A full disk for this process while it lives: writes that would make any file larger than
// |bytes| fail (EFBIG, RLIMIT_FSIZE) instead of raising SIGXFSZ. The old limit comes back after.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(unsigned long long bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  bool active() const { return active_; }

 private:
  unsigned long long oldSoft_ = 0;
  bool active_ = false;
  void (*oldHandler_)(int) = nullptr;
};

}  // namespace testfs
