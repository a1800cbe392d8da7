#include "net/download_failure.h"

#include "net/wininet_errors.h"
#include "utility/system/ufile.h"

namespace net {

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


}  // namespace net
