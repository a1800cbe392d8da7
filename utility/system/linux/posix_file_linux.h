// File-descriptor helpers shared by the Linux files that write or read files the installer
// does not fully control (log, downloads, copies, launchers, registry keys).
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <string>

namespace utility::posix {

// Opens |path| with |flags| (plus close-on-exec and no controlling terminal) when it is a
// regular file; -1 with errno set otherwise (EACCES for a folder, FIFO or device). The open
// itself never waits on a FIFO, and O_TRUNC takes effect only once the file is known to be a
// regular one. |info| receives the file's status when given. Pass O_NOFOLLOW to refuse a link.
int openRegularFile(const std::string& path, int flags, mode_t mode = 0644, struct stat* info = nullptr);

// Writes all |n| bytes, resuming after interruptions; false with errno set (EIO when nothing
// more could be written) otherwise.
bool writeAll(int fd, const void* bytes, size_t n);

}  // namespace utility::posix
