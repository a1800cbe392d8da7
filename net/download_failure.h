// Why a download into a file failed, where the stack can tell: what the user is told in one
// sentence (nothing more when the cause is not known).
#pragma once

#include <string>

namespace net {

enum class DownloadFailure {
  kUnknown,
  kNoConnection,       // the server could not be reached, or the connection broke off
  kServerRefused,      // the server answered with an error status
  kDiskFull,           // the file could not grow: no space left (or a size limit)
  kFolderNotWritable,  // the file could not be created or written for want of rights
  kIntegrityMismatch,  // the file arrived whole but is not the one announced (size or SHA-256)
};

// The system's code for why the last file write on this thread failed (errno here, the last
// error on Windows), read right after utility::FileHandle::write returned false; never 0.
int lastWriteError();
// The cause of a failed file write from that code; kUnknown for others.
DownloadFailure failureForWriteError(int error);
// The system's text for that code, for the log ("No space left on device").
std::wstring writeErrorText(int error);
// The same for a Windows system error code of a failed create (utility::FileHandle::open).
DownloadFailure failureForCreateError(int systemError);
// A platform-client error (Windows Internet code) that says the server could not be reached.
DownloadFailure failureForInternetError(int internetError);

}  // namespace net
