#include "net/download_failure.h"

#include <cerrno>
#include <system_error>

#include "net/wininet_errors.h"
#include "utility/base/strings.h"
#include "utility/system/ufile.h"

namespace net {

DownloadFailure failureForWriteErrno(int error) {
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

DownloadFailure failureForCreateError(int systemError) {
  using utility::FileHandle;
  switch (systemError) {
    case FileHandle::kErrorDiskFull:
      return DownloadFailure::kDiskFull;
    case FileHandle::kErrorAccessDenied:
    case FileHandle::kErrorWriteProtect:
    case FileHandle::kErrorPathNotFound:
      return DownloadFailure::kFolderNotWritable;
    default:
      return DownloadFailure::kUnknown;
  }
}

DownloadFailure failureForInternetError(int internetError) {
  switch (internetError) {
    case kInternetTimeout:
    case kInternetNameNotResolved:
    case kInternetCannotConnect:
    case kInternetConnectionAborted:
    case kInternetConnectionReset:
      return DownloadFailure::kNoConnection;
    default:
      return DownloadFailure::kUnknown;
  }
}

std::wstring errnoText(int error) { return utility::utf8ToWide(std::generic_category().message(error)); }

}  // namespace net
