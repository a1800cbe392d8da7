#include "app/quiet_install.h"

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "app/download_impl.h"
#include "app/quiet_console.h"
#include "model/app_dispatch.h"
#include "model/app_install_job.h"
#include "model/downloader_model.h"
#include "ui/main_frame.h"
#include "ui/ui_actions.h"
#include "utility/base/clock.h"
#include "utility/base/main_loop.h"
#include "utility/base/progress_throttle.h"
#include "utility/base/strings.h"
#include "utility/system/command_line_split.h"
#include "utility/system/disk.h"
#include "utility/system/drive_table.h"
#include "utility/system/log.h"
#include "utility/system/ufile.h"

namespace app {
namespace {

constexpr const char* kLabel = "app::runQuietInstall";
// The free space the window's install button asks of the installation folder's drive.
constexpr double kNeededFreeMiB = 1024.0;
// The log copy reads the whole log; the log keeps itself far below this.
constexpr uint64_t kMaxLogBytes = 64u << 20;

constexpr const char* kUsage =
    "Unattended installation: tarnwick_installer /quiet [/dir=\"C:\\folder\"] [/log=\"file\"] [/launch]\n"
    "  /quiet   install without a window; the licence is accepted by this switch\n"
    "  /dir     the installation folder (a full path; default: the folder the window proposes)\n"
    "  /log     copy the installer's log to this file at the end\n"
    "  /launch  start the emulator when the installation is done\n";

std::string utf8(const std::wstring& text) { return utility::wideToUtf8(text); }

// One line on standard output, at once (a script reads it while the job runs).
void say(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

// ---- Switches ----

// A switch's name (lower case) and value: "/name", "/name=value", "--name", "--name=value".
struct Switch {
  std::wstring name;
  bool hasValue = false;
  std::wstring value;
};

bool readSwitch(const std::wstring& text, Switch& out) {
  size_t start = 0;
  if (text.size() > 2 && text[0] == L'-' && text[1] == L'-') {
    start = 2;
  } else if (text.size() > 1 && text[0] == L'/') {
    start = 1;
  } else {
    return false;
  }
  const size_t equals = text.find(L'=', start);
  out.name = text.substr(start, equals == std::wstring::npos ? std::wstring::npos : equals - start);
  utility::toLower(out.name);
  out.hasValue = equals != std::wstring::npos;
  out.value = out.hasValue ? text.substr(equals + 1) : std::wstring();
  return true;
}

// "X:\..." or "X:/..." (a drive), "\\server\..." or a host path "/..." (turned into a drive
// path where a drive holds it).
bool isFullPath(const std::wstring& path) {
  if (path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/')) return true;
  if (path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\') return true;
  return !path.empty() && path[0] == L'/';
}

class SwitchReader {
 public:
  explicit SwitchReader(QuietSwitches& out) : out_(out) {}

  // Applies the switches among |arguments|; returns the texts of those that are not switches.
  std::vector<std::wstring> apply(const std::vector<std::wstring>& arguments) {
    std::vector<std::wstring> others;
    for (const std::wstring& text : arguments) {
      Switch s;
      if (!readSwitch(text, s)) {
        others.push_back(text);
        continue;
      }
      for (std::wstring& other : applyOne(s, text)) others.push_back(std::move(other));
    }
    return others;
  }

  // One switch; returns what a quote in its value had swallowed that is not a switch.
  std::vector<std::wstring> applyOne(Switch& s, const std::wstring& text) {
    std::vector<std::wstring> others;
    if (s.name == L"quiet" || s.name == L"launch") {
      if (s.hasValue) fail(text + L": this switch takes no value");
      if (s.name == L"launch") out_.launch = true;
      return others;
    }
    if (s.name != L"dir" && s.name != L"log") {
      fail(L"unknown switch " + text);
      return others;
    }
    // /dir="C:\a\" ends its value with an escaped quote: the system's rules read the quote as
    // part of the value and the rest of the line with it. A quote never belongs to a path:
    // the value ends there and what followed is read again as arguments.
    const size_t quote = s.value.find(L'"');
    if (quote != std::wstring::npos) {
      const std::wstring rest = s.value.substr(quote + 1);
      s.value.erase(quote);
      others = apply(utility::splitCommandLine(rest));
    }
    if (s.value.empty()) {
      fail(L"/" + s.name + L" needs a value, for example /" + s.name +
           (s.name == L"dir" ? L"=\"C:\\Games\"" : L"=\"C:\\install.log\""));
    } else if (s.name == L"dir") {
      if (!isFullPath(s.value)) fail(L"/dir needs a full path: " + s.value);
      out_.folder = s.value;
    } else {
      out_.logCopy = s.value;
    }
    return others;
  }

 private:
  void fail(const std::wstring& error) {
    if (out_.error.empty()) out_.error = error;
  }
  QuietSwitches& out_;
};

// ---- The job ----

class QuietJob : public AppInstallJob::Observer {
 public:
  explicit QuietJob(const QuietSwitches& switches) : switches_(switches) {}

  void start();
  // The exit code; kCancelled when the loop ended before the job did (a signal).
  QuietExit exitCode() const { return ended_ ? exitCode_ : QuietExit::kCancelled; }
  // Main thread, after the loop: the app job lets go of this observer.
  void stop() {
    if (appJob_) appJob_->detach();
    appJob_.reset();
  }

 private:
  void end(QuietExit code, const char* outcome);
  void onInstalled();
  void progressLine(const char* phase, int percent, int64_t received, int64_t total);

  // AppInstallJob::Observer
  void onAppStep(int index) override;
  void onAppProgress(int64_t received, int64_t total) override;
  void onAppFallbackPercent(int percent) override;
  void onAppsInstalling() override;
  void onAppsLaunched() override;

  const QuietSwitches& switches_;
  bool ended_ = false;
  QuietExit exitCode_ = QuietExit::kCancelled;
  utility::ProgressThrottle throttle_;
  std::unique_ptr<AppInstallJob> appJob_;
  int appIndex_ = 0;
  size_t appCount_ = 0;
};

void QuietJob::end(QuietExit code, const char* outcome) {
  if (ended_) return;
  ended_ = true;
  exitCode_ = code;
  say("result: %s (exit code %d)", outcome, static_cast<int>(code));
  common::logPrint(kLabel, __LINE__, L"unattended installation ended: %S, exit code %d", outcome, static_cast<int>(code));
  utility::MainLoop::quit();
}

// At most one percentage line a second; the first and the last of a phase always.
void QuietJob::progressLine(const char* phase, int percent, int64_t received, int64_t total) {
  if (!throttle_.due(utility::tickCount())) return;
  if (total > 0) {
    say("%s %d%% (%lld of %lld bytes)", phase, percent, static_cast<long long>(received), static_cast<long long>(total));
  } else {
    say("%s %d%%", phase, percent);
  }
}

void QuietJob::start() {
  DownloaderModel& model = DownloaderModel::instance();
  model.onDownloadProgress = [this](int percent, int64_t received, int64_t total) {
    progressLine("download", percent, received, total);
  };
  model.onCurlProgress = [this](int percent) { progressLine("download", percent, 0, 0); };
  model.onDownloadFail = [this](net::DownloadFailure cause) {
    const QuietExit code = quietExitFor(cause);
    end(code, code == QuietExit::kIntegrityCheckFailed ? "the downloaded installer is not the one announced"
                                                       : "the download failed");
  };
  model.onDownloadSuccess = [this] {
    say("download 100%%");
    say("install 0%%");
    DownloaderModel::instance().startInstallPlayer();
  };
  model.onInstallerStillRunning = [] {
    say("install: the emulator's installer is still running after the time limit; it is left to finish");
  };
  model.onInstallFinished = [this](bool installed) {
    if (!installed) return end(QuietExit::kInstallationFailed, "the installation failed");
    say("install 100%%");
    onInstalled();
  };

  if (!switches_.folder.empty()) {
    // A host path ("/home/...") is turned into the drive path that holds it.
    const std::wstring folder =
        switches_.folder[0] == L'/' ? utility::fromHostPath(utility::HostPath::fromString(utility::wideToUtf8(switches_.folder))) : switches_.folder;
    model.setInstallPath(CMainFrame::completeInstallPath(CMainFrame::slashToBackslash(folder)));
  }
  // The install button's checks, with the licence accepted by the switch.
  const std::wstring folder = model.getInstallPath();
  const helper::disk::InstallPathProblem problem = helper::disk::installPathProblem(folder);
  const bool enoughSpace = problem == helper::disk::InstallPathProblem::none &&
                           helper::disk::freeSpaceMiB(folder) >= kNeededFreeMiB;
  say("folder: %s", utf8(folder).c_str());
  if (!enoughSpace) {
    const wchar_t* reason = problem != helper::disk::InstallPathProblem::none
                                ? helper::disk::installPathProblemName(problem)
                                : L"less than 1 GiB free";
    common::logPrint(kLabel, __LINE__, L"installation folder refused (%s): %s", reason, folder.c_str());
    say("folder: cannot be used (%s)", utf8(reason).c_str());
    return end(QuietExit::kNoUsableFolder, "no usable installation folder");
  }
  common::logPrint(kLabel, __LINE__, L"unattended installation into %s; licence accepted by the /quiet switch; launch %d",
                   folder.c_str(), switches_.launch ? 1 : 0);
  say("download 0%%");
  model.startDownloadPlayer();
  uiactions::report(L"start_downloader");
}

// The emulator is installed: the campaign's apps and package, as the window hands them on.
void QuietJob::onInstalled() {
  DownloaderModel& model = DownloaderModel::instance();
  if (!model.getApps().empty()) {
    const AppInfo& app = model.getApps().front();
    if (const std::optional<std::wstring> parameters = handOverParameters(app)) {
      // The emulator fetches this app itself when it starts with it.
      if (switches_.launch) {
        model.runPlayer(*parameters);
        say("launch 100%%");
      } else {
        say("apps: the campaign's app is fetched by the emulator when it starts (not started: no /launch)");
      }
      return end(QuietExit::kInstalled, "installed");
    }
    appCount_ = std::min(model.getApps().size(), AppInstallJob::kMaxApps);
    say("apps 0%%");
    appJob_ = std::make_unique<AppInstallJob>(*this);
    if (!appJob_->start(model.getApps(), model.getInstallPath(), switches_.launch)) {
      return end(QuietExit::kInstallationFailed, "the apps could not be installed");
    }
    return;
  }
  if (switches_.launch) {
    model.runPlayerWithPackage();
    say("launch 100%%");
  }
  end(QuietExit::kInstalled, "installed");
}

void QuietJob::onAppStep(int index) {
  appIndex_ = index;
  say("apps: %d of %d", index, static_cast<int>(appCount_));
}

void QuietJob::onAppProgress(int64_t received, int64_t total) {
  const int percent = total > 0 ? static_cast<int>(static_cast<double>(received) / static_cast<double>(total) * 100.0) : 0;
  progressLine("apps", percent, received, total);
}

void QuietJob::onAppFallbackPercent(int percent) { progressLine("apps", percent, 0, 0); }

void QuietJob::onAppsInstalling() { say("apps: installing into the emulator"); }

void QuietJob::onAppsLaunched() {
  say("apps 100%%");
  if (switches_.launch) say("launch 100%%");
  end(QuietExit::kInstalled, "installed");
}

// ---- The log copy ----

std::wstring logFile() { return utility::ufile::appDataDir() + L"\\downloader\\downloader.log"; }

bool writeWhole(const std::wstring& path, const std::vector<uint8_t>& bytes) {
  utility::FileHandle file;
  if (!file.open(path)) return false;
  const bool written = bytes.empty() || file.write(bytes.data(), bytes.size());
  file.close();
  return written;
}

}  // namespace

QuietExit quietExitFor(net::DownloadFailure cause) {
  switch (cause) {
    case net::DownloadFailure::kNoConnection: return QuietExit::kDownloadNoConnection;
    case net::DownloadFailure::kServerRefused: return QuietExit::kDownloadRefused;
    case net::DownloadFailure::kDiskFull: return QuietExit::kDownloadDiskFull;
    case net::DownloadFailure::kFolderNotWritable: return QuietExit::kDownloadFolderNotWritable;
    case net::DownloadFailure::kIntegrityMismatch: return QuietExit::kIntegrityCheckFailed;
    case net::DownloadFailure::kUnknown: break;
  }
  return QuietExit::kDownloadFailed;
}

QuietSwitches readQuietSwitches(const std::wstring& commandLine) {
  QuietSwitches result;
  result.campaign = commandLine;
  const std::vector<utility::CommandLineArgument> arguments = utility::splitCommandLineWithPlaces(commandLine);
  bool quiet = false;
  for (const utility::CommandLineArgument& argument : arguments) {
    Switch s;
    if (readSwitch(argument.text, s) && s.name == L"quiet") quiet = true;
  }
  if (!quiet) return result;
  result.quiet = true;

  // The switches leave the text; everything else stays as it was written, parts joined by one
  // blank (the campaign's reader trims its pieces and unquotes the whole text).
  SwitchReader reader(result);
  std::wstring campaign;
  auto keep = [&campaign](std::wstring_view part) {
    const size_t first = part.find_first_not_of(L" \t");
    if (first == std::wstring_view::npos) return;
    part = part.substr(first, part.find_last_not_of(L" \t") - first + 1);
    if (!campaign.empty()) campaign += L' ';
    campaign += part;
  };
  size_t kept = 0;
  std::vector<std::wstring> swallowed;
  for (const utility::CommandLineArgument& argument : arguments) {
    Switch s;
    if (!readSwitch(argument.text, s)) continue;
    keep(std::wstring_view(commandLine).substr(kept, argument.begin - kept));
    kept = argument.end;
    for (std::wstring& other : reader.applyOne(s, argument.text)) swallowed.push_back(std::move(other));
  }
  keep(std::wstring_view(commandLine).substr(kept));
  for (const std::wstring& other : swallowed) keep(other);
  result.campaign = campaign;
  return result;
}

int runQuietInstall(const QuietSwitches& switches) {
  attachQuietConsole();
  if (!switches.error.empty()) {
    common::logPrint(kLabel, __LINE__, L"bad arguments: %s", switches.error.c_str());
    std::fprintf(stderr, "bad arguments: %s\n%s", utf8(switches.error).c_str(), kUsage);
    say("result: bad arguments (exit code %d)", static_cast<int>(QuietExit::kBadArguments));
    return static_cast<int>(QuietExit::kBadArguments);
  }
  // A log copy that cannot be written is found out before anything is installed.
  if (!switches.logCopy.empty() && !writeWhole(switches.logCopy, {})) {
    common::logPrint(kLabel, __LINE__, L"bad arguments: the log copy cannot be written: %s", switches.logCopy.c_str());
    std::fprintf(stderr, "bad arguments: the log file cannot be written: %s\n", utf8(switches.logCopy).c_str());
    say("result: bad arguments (exit code %d)", static_cast<int>(QuietExit::kBadArguments));
    return static_cast<int>(QuietExit::kBadArguments);
  }
  common::logPrint(kLabel, __LINE__, L"unattended installation (/quiet)");

  QuietJob job(switches);
  DownloadImpl application;
  QuietExit code = QuietExit::kAnotherInstance;
  if (application.entrance(switches.campaign.c_str())) {
    job.start();
    utility::MainLoop::run();
    code = job.exitCode();
    if (code == QuietExit::kCancelled) say("result: cancelled (exit code %d)", static_cast<int>(code));
  } else {
    say("result: another instance of the installer is running (exit code %d)", static_cast<int>(code));
  }
  job.stop();
  application.shutdown();
  common::flushLog(2000);

  if (!switches.logCopy.empty()) {
    std::vector<uint8_t> bytes;
    if (!utility::ufile::readFile(logFile(), kMaxLogBytes, bytes) || !writeWhole(switches.logCopy, bytes)) {
      std::fprintf(stderr, "the log could not be copied to %s\n", utf8(switches.logCopy).c_str());
    }
  }
  return static_cast<int>(code);
}

}  // namespace app
