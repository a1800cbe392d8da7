// The unattended installation's switches: what they set, what is left for the campaign's
// reader exactly as written, what is refused; and the exit code of each download failure.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/quiet_install.h"
#include "utility/base/strings.h"

namespace {

using app::QuietExit;

TEST(QuietSwitches, ReadFromTheCommandLine) {
  struct Case {
    std::wstring commandLine;
    bool quiet, launch;
    std::wstring folder, logCopy, campaign;
    bool error = false;
  };
  const std::wstring app = L"\"name=Tarnwick Demo|package=com.tarnwick.demo|apkurl=https://h/a.apk\"";
  const std::vector<Case> cases = {
      // Without /quiet nothing is taken out, whatever else is there.
      {L"", false, false, L"", L"", L""},
      {L"  /dir=\"C:\\G\" /launch x ", false, false, L"", L"", L"  /dir=\"C:\\G\" /launch x "},
      {L"/quietly", false, false, L"", L"", L"/quietly"},
      // The documented forms, in any case, with the campaign's app before, between or after.
      {L"/quiet", true, false, L"", L"", L""},
      {L"/QUIET /Launch", true, true, L"", L"", L""},
      {L"/quiet " + app, true, false, L"", L"", app},
      {app + L" /quiet /dir=\"D:\\Games\" /log=\"C:\\logs\\install.log\"", true, false, L"D:\\Games",
       L"C:\\logs\\install.log", app},
      {L"/dir=\"D:\\My Games\" " + app + L" /quiet", true, false, L"D:\\My Games", L"", app},
      // The app argument unquoted, in pieces: the pieces and the blanks between them stay.
      {L"name=Tarnwick  Demo|package=com.x /quiet", true, false, L"", L"", L"name=Tarnwick  Demo|package=com.x"},
      // Linux aliases.
      {L"--quiet --dir=/home/u/games --log=run.log --launch", true, true, L"/home/u/games", L"run.log", L""},
      // A trailing backslash escapes the closing quote: the value ends at the quote and the rest
      // is read again.
      {L"/quiet /dir=\"C:\\Program Files\\Tarnwick\\\" /launch", true, true, L"C:\\Program Files\\Tarnwick", L"", L""},
      {L"/quiet /dir=\"C:\\G\\\" name=a|package=b", true, false, L"C:\\G", L"", L"name=a|package=b"},
      // Refused: unknown switches, missing or surplus values, a folder that is not a full path.
      {L"/quiet /bogus", true, false, L"", L"", L"", true},
      {L"/quiet /dir=", true, false, L"", L"", L"", true},
      {L"/quiet /dir", true, false, L"", L"", L"", true},
      {L"/quiet /log=", true, false, L"", L"", L"", true},
      {L"/quiet=yes", true, false, L"", L"", L"", true},
      {L"/quiet /launch=no", true, false, L"", L"", L"", true},
      {L"/quiet /dir=Games", true, false, L"Games", L"", L"", true},
      {L"/quiet /?", true, false, L"", L"", L"", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(utility::wideToUtf8(c.commandLine));
    const app::QuietSwitches s = app::readQuietSwitches(c.commandLine);
    EXPECT_EQ(s.quiet, c.quiet);
    EXPECT_EQ(!s.error.empty(), c.error) << utility::wideToUtf8(s.error);
    if (c.error) continue;
    EXPECT_EQ(s.launch, c.launch);
    EXPECT_EQ(s.folder, c.folder);
    EXPECT_EQ(s.logCopy, c.logCopy);
    EXPECT_EQ(s.campaign, c.campaign);
  }
}

TEST(QuietSwitches, EveryDownloadFailureHasItsOwnCode) {
  const std::vector<std::pair<net::DownloadFailure, QuietExit>> cases = {
      {net::DownloadFailure::kUnknown, QuietExit::kDownloadFailed},
      {net::DownloadFailure::kNoConnection, QuietExit::kDownloadNoConnection},
      {net::DownloadFailure::kServerRefused, QuietExit::kDownloadRefused},
      {net::DownloadFailure::kDiskFull, QuietExit::kDownloadDiskFull},
      {net::DownloadFailure::kFolderNotWritable, QuietExit::kDownloadFolderNotWritable},
      {net::DownloadFailure::kIntegrityMismatch, QuietExit::kIntegrityCheckFailed},
  };
  std::vector<int> seen;
  for (const auto& [cause, code] : cases) {
    EXPECT_EQ(app::quietExitFor(cause), code) << static_cast<int>(cause);
    seen.push_back(static_cast<int>(code));
  }
  // Distinct from each other and from the other outcomes, and all fit an exit status.
  for (QuietExit other : {QuietExit::kInstalled, QuietExit::kBadArguments, QuietExit::kAnotherInstance,
                          QuietExit::kNoUsableFolder, QuietExit::kInstallationFailed, QuietExit::kCancelled}) {
    seen.push_back(static_cast<int>(other));
  }
  for (size_t i = 0; i < seen.size(); ++i) {
    EXPECT_GE(seen[i], 0);
    EXPECT_LT(seen[i], 126);
    for (size_t j = i + 1; j < seen.size(); ++j) EXPECT_NE(seen[i], seen[j]);
  }
}

}  // namespace
