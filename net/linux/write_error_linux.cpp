// Why a file write failed, as the C library says it (utility::FileHandle writes with write(2)).
#include <cerrno>
#include <system_error>

#include "net/download_failure.h"
#include "utility/base/strings.h"

namespace net {

int lastWriteError() { return errno != 0 ? errno : EIO; }

DownloadFailure failureForWriteError(int error) {
  switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return DownloadFailure::kDiskFull;
    case EACCES:
    case EPERM:
    case EROFS:
      return DownloadFailure::kFolderNotWritable;
    default:
      return DownloadFailure::kUnknown;
  }
}

std::wstring writeErrorText(int error) { return utility::utf8ToWide(std::generic_category().message(error)); }

}  // namespace net
