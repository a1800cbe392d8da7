// The emulator's launch as the ordinary desktop user. On Windows the installer runs elevated and
// borrows the desktop shell's un-elevated token. Here least privilege takes the token's place:
// an installer started as root for a desktop user has given up root at start (see
// utility/system/privilege.h), so the user it now runs as is that un-elevated identity and the
// emulator is started directly, detached. The shell start stays the fallback.
#include <cerrno>

#include "model/downloader_model.h"
#include "model/package_name.h"
#include "utility/system/log.h"
#include "utility/system/privilege.h"
#include "utility/system/process.h"
#include "utility/system/usystem.h"

namespace {

constexpr size_t kCommandLineLimit = 1023;  // characters, without the terminator
constexpr int kNoShellToken = 2;            // the status of "no matching process" on Windows

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
  if (runWithShellToken(program.c_str(), parameters.c_str()) == -1) {
    const int error = errno;
    common::logPrint("DownloaderModel::runPlayer", __LINE__, L"runPlayer no amdin error %d", error);
    utility::process::shell(program, parameters, true, false);
  }
}

int DownloaderModel::runWithShellToken(const wchar_t* program, const wchar_t* parameters) {
  // The command line a Windows start would be given; its limit holds here as well.
  std::wstring commandLine;
  if (parameters != nullptr) {
    commandLine = L"\"" + std::wstring(program) + L"\" " + parameters;
  } else {
    commandLine = program;
  }
  if (commandLine.size() > kCommandLineLimit) {
    errno = E2BIG;
    return -1;
  }
  ShellToken token;
  int status = 0;
  if (!getShellToken(token, status)) {
    errno = status;
    return -1;
  }
  // The token is this process's own identity: a direct start runs as it.
  if (!utility::process::startDetached(program, parameters != nullptr ? parameters : L"")) return -1;
  return 0;
}

bool DownloaderModel::getShellToken(ShellToken& token, int& status) {
  token.uid = utility::usystem::currentUserId();
  token.gid = utility::usystem::currentGroupId();
  if (token.uid == 0) {
    status = kNoShellToken;
    return false;
  }
  status = 0;
  return true;
}
