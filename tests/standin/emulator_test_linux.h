// What the stand-in emulator tests ask of the system directly.
#pragma once

namespace standintest {

unsigned currentUserId();
// Sends SIGKILL to |pid| (0 is ignored).
void killProcess(unsigned pid);
// Sets (or with nullptr removes) an environment variable of this process, for its children.
void setEnvironment(const char* name, const char* value);

}  // namespace standintest
