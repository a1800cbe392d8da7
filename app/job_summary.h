// The end of an automated run (development builds): how it went and where its results are, as
// host paths, on standard output.
#pragma once

namespace app {

// "installer job: <outcome>", then the installed emulator, "data.ini", the desktop launcher, the
// stand-in emulator's record and the log.
void printJobSummary(const char* outcome);

}  // namespace app
