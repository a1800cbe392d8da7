// Where the unattended installation's lines go: standard output as the caller gave it; a
// Windows program of the window subsystem started from a console without redirection has none,
// so it writes to the console it was started from.
#pragma once

namespace app {

// Before the first line. Does nothing where standard output and error are already usable.
void attachQuietConsole();

}  // namespace app
