// The unattended installation (/quiet): the whole job without a window or a box, for scripted
// and mass installations. The licence counts as accepted by the switch itself; the folder comes
// from /dir="..." or the default rules; the campaign's apps are installed as the window would
// install them; the emulator is started only with /launch. Progress goes to standard output as
// lines, the log is written as usual and copied to /log="file", and the exit code says how it
// ended. A product feature: every build has it.
#pragma once

#include <string>

#include "net/download_failure.h"

namespace app {

// How an unattended installation ended: the process's exit code.
enum class QuietExit : int {
  kInstalled = 0,
  kBadArguments = 2,
  kAnotherInstance = 3,
  kNoUsableFolder = 4,  // the folder cannot be used, or its drive has less than 1 GiB free
  // The download failed on every stack; the cause is added to this code (see quietExitFor).
  kDownloadFailed = 10,
  kDownloadNoConnection = 11,
  kDownloadRefused = 12,
  kDownloadDiskFull = 13,
  kDownloadFolderNotWritable = 14,
  kIntegrityCheckFailed = 20,  // the downloaded file is not the one announced
  kInstallationFailed = 30,
  kCancelled = 40,  // ended by a signal (Ctrl+C, SIGTERM; on Windows also close, logoff, shutdown)
};

// The code for a failed download of |cause|.
QuietExit quietExitFor(net::DownloadFailure cause);

// The switches of an unattended installation and what is left of the command line for the
// campaign (its app argument, "name=...|package=...", read as without them).
struct QuietSwitches {
  bool quiet = false;     // /quiet (also --quiet)
  bool launch = false;    // /launch (also --launch)
  std::wstring folder;    // /dir="..." (also --dir=...); empty: the default rules
  std::wstring logCopy;   // /log="..." (also --log=...); empty: none
  std::wstring campaign;  // the command line without the switches, otherwise as written
  std::wstring error;     // what is wrong with the switches; empty when nothing
};

// Reads the switches from the command line (the text after the program's name). Without
// /quiet nothing is taken out: the whole text is the campaign's, exactly as given, and the other
// switches mean nothing. Names are read without regard to case.
QuietSwitches readQuietSwitches(const std::wstring& commandLine);

// Runs the unattended installation (main thread, the log and the dispatcher open, termination
// signals ending the loop) and returns the process's exit code.
int runQuietInstall(const QuietSwitches& switches);

}  // namespace app
