// The shell token on Linux: least privilege takes its place. The start step gave up root for the
// desktop user, so the identity this process runs as is the un-elevated one; root (no desktop
// user known) has none. A start "with the token" is a detached start as this process's user.
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "utility/system/command_line_quote.h"
#include "utility/system/command_line_split.h"
#include "utility/system/process.h"
#include "utility/system/shell_token.h"

namespace utility::process {

struct ShellToken::Native {
  uid_t uid = 0;
  gid_t gid = 0;
};

ShellToken::ShellToken() = default;
ShellToken::~ShellToken() = default;
ShellToken::ShellToken(ShellToken&& other) noexcept = default;
ShellToken& ShellToken::operator=(ShellToken&& other) noexcept = default;

void ShellToken::close() { native_.reset(); }

ShellToken takeShellToken(int& status) {
  ShellToken token;
  if (::geteuid() == 0) {
    status = ENOENT;  // as "no shell process": nothing un-elevated to run as
    return token;
  }
  token.native_ = std::make_unique<ShellToken::Native>(ShellToken::Native{::geteuid(), ::getegid()});
  status = 0;
  return token;
}

bool startWithShellToken(const ShellToken& token, const std::wstring& commandLine, int& error) {
  error = 0;
  if (!token || token.native_->uid != ::geteuid()) {
    error = EPERM;  // only this process's own identity can be started as here
    return false;
  }
  // The program is the command line's first argument; the rest goes on as it was written.
  const std::vector<std::wstring> arguments = splitCommandLine(commandLine);
  if (arguments.empty() || arguments[0].empty()) {
    error = ENOENT;
    return false;
  }
  std::wstring parameters;
  for (size_t i = 1; i < arguments.size(); ++i) {
    if (i > 1) parameters += L' ';
    parameters += quoteCommandLineArgument(arguments[i]);
  }
  if (!startDetached(arguments[0], parameters)) {
    error = lastError();
    return false;
  }
  return true;
}

int commandLineTooLongError() { return E2BIG; }

}  // namespace utility::process
