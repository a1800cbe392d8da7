// Why a file write failed, as the system says it (utility::FileHandle writes with WriteFile).
#include <windows.h>

#include "net/download_failure.h"
#include "net/win/wininet_error_map_win.h"

namespace net {

int lastWriteError() {
  const DWORD error = GetLastError();
  return static_cast<int>(error != 0 ? error : ERROR_WRITE_FAULT);
}

DownloadFailure failureForWriteError(int error) {
  switch (static_cast<DWORD>(error)) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_FILE_TOO_LARGE:
      return DownloadFailure::kDiskFull;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_LOCK_VIOLATION:
      return DownloadFailure::kFolderNotWritable;
    default:
      return DownloadFailure::kUnknown;
  }
}

std::wstring writeErrorText(int error) { return wininet::errorText(static_cast<DWORD>(error)); }

}  // namespace net
