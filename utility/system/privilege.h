// What the process settles about its own rights at start, before it opens its log or any other
// file. On Linux, least privilege: nothing the installer does needs root, so an installer started
// as root on behalf of a desktop user (pkexec, sudo) gives up root and runs as that user from
// then on. On Windows there is nothing to give up at start: the manifest asks for elevation, and
// the emulator is later started with the desktop shell's un-elevated token (shell_token.h).
#pragma once

#include <string>

namespace utility {
namespace usystem {

struct ProcessStart {
  // False: the rights could not be settled and the process must end at once (exit code 1) with
  // |failure| on standard error; nothing has been touched yet.
  bool mayRun = true;
  std::string failure;
  // What to log (label "wWinMain") once the log is open; empty when there is nothing to say.
  std::wstring logText;
};

// The platform's start step. Call first thing in main: before any file, thread or library state
// exists.
ProcessStart prepareProcessStart();

}  // namespace usystem
}  // namespace utility
