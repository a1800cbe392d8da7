// The desktop user's un-elevated identity, to start a program as that user from an installer
// that runs with more rights than the user has. Opaque to its users: on Windows the primary token
// duplicated from the desktop shell (explorer.exe), which runs un-elevated; on Linux the user
// this process runs as, which is the desktop user once the start step gave up root
// (privilege.h).
#pragma once

#include <memory>
#include <string>

namespace utility {
namespace process {

class ShellToken {
 public:
  ShellToken();
  ~ShellToken();
  ShellToken(ShellToken&& other) noexcept;
  ShellToken& operator=(ShellToken&& other) noexcept;
  ShellToken(const ShellToken&) = delete;
  ShellToken& operator=(const ShellToken&) = delete;

  explicit operator bool() const { return native_ != nullptr; }
  void close();

  struct Native;  // the platform's identity, defined beside its implementation

 private:
  friend ShellToken takeShellToken(int& status);
  friend bool startWithShellToken(const ShellToken& token, const std::wstring& commandLine, int& error);
  std::unique_ptr<Native> native_;
};

// The desktop shell's identity. |status| is 0 with a token; otherwise the system's error code
// (errno on Linux, the last error on Windows), 2 when there is no shell to take it from (no
// desktop shell process on Windows; on Linux a process that runs as root, for which no desktop
// user was known at start).
ShellToken takeShellToken(int& status);

// Starts |commandLine| (the program's path, quoted when needed, then its arguments, by the
// Windows command-line rules) as |token|'s user, with that user's profile, not waited for.
// True when it started; otherwise |error| holds the system's error code (2: no such program).
bool startWithShellToken(const ShellToken& token, const std::wstring& commandLine, int& error);

// The error code a command line past a caller's limit is reported with (E2BIG on Linux,
// ERROR_FILENAME_EXCED_RANGE on Windows).
int commandLineTooLongError();

}  // namespace process
}  // namespace utility
