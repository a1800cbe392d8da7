// The emulator's launch as the ordinary desktop user. The installer may run with more rights than
// that user: on Windows it runs elevated and borrows the desktop shell's un-elevated token; on
// Linux least privilege takes the token's place (an installer started as root for a desktop user
// has given up root at start, see utility/system/privilege.h, so the user it now runs as is that
// un-elevated identity). The shell start stays the fallback.
#include "model/downloader_model.h"
#include "model/package_name.h"
#include "utility/system/log.h"
#include "utility/system/process.h"
#include "utility/system/shell_token.h"
#include "utility/system/usystem.h"

namespace {

constexpr size_t kCommandLineLimit = 1023;  // characters, without the terminator

}  // namespace

void DownloaderModel::runPlayerWithPackage() {
  std::wstring parameters;
  if (isAndroidPackageName(package_)) {
    parameters = L"downloadpackage=" + package_ + L"|package=" + package_;
  } else if (!package_.empty()) {
    // A package from the file name could otherwise add keys or arguments to the launch.
    common::logPrint("DownloaderModel::runPlayerWithPackage", __LINE__,
                     L"package is not an Android package name, launch without it");
  }
  runPlayer(parameters);
}

void DownloaderModel::runPlayer(const std::wstring& parameters) {
  const std::wstring program = installPath_ + L"\\corvide.exe";
  // Systems before 6.2 have no un-elevated start to borrow; the pair is compared as a version.
  if (utility::usystem::osVersion().before(6, 2)) {
    utility::process::shell(program, parameters, true, false);
    return;
  }
  common::logPrint("DownloaderModel::runPlayer", __LINE__, L"runPlayer no amdin");
  int error = 0;
  if (runWithShellToken(program.c_str(), parameters.c_str(), &error) == -1) {
    common::logPrint("DownloaderModel::runPlayer", __LINE__, L"runPlayer no amdin error %d", error);
    utility::process::shell(program, parameters, true, false);
  }
}

int DownloaderModel::runWithShellToken(const wchar_t* program, const wchar_t* parameters, int* error) {
  int ignored = 0;
  int& failure = error != nullptr ? *error : ignored;
  failure = 0;
  // The program is always quoted: unquoted, a path with blanks ("C:\Program Files\...") would let
  // the system try "C:\Program.exe" first.
  std::wstring commandLine = L"\"" + std::wstring(program) + L"\"";
  if (parameters != nullptr) commandLine += L" " + std::wstring(parameters);
  if (commandLine.size() > kCommandLineLimit) {
    failure = utility::process::commandLineTooLongError();
    return -1;
  }
  ShellToken token;
  int status = 0;
  if (!getShellToken(token, status)) {
    failure = status;
    return -1;
  }
  if (!utility::process::startWithShellToken(token, commandLine, failure)) return -1;
  return 0;
}

bool DownloaderModel::getShellToken(ShellToken& token, int& status) {
  token = utility::process::takeShellToken(status);
  return static_cast<bool>(token);
}
