// Installation: ends running emulator programs, runs the downloaded installer silently, then
// personalises the installed emulator for the campaign (launch images, data.ini, the autostart
// entry, the desktop shortcut) and hands the result to the main thread.
#include <rapidjson/document.h>

#include <atomic>
#include <chrono>
#include <list>
#include <mutex>
#include <system_error>
#include <thread>

#include "model/config_imp.h"
#include "model/downloader_model.h"
#include "net/http_downloader.h"
#include "telemetry/qv_reporter.h"
#include "utility/base/clock.h"
#include "utility/base/strings.h"
#include "utility/base/tasks.h"
#include "utility/system/command_line_quote.h"
#include "utility/system/disk.h"
#include "utility/system/log.h"
#include "utility/system/process.h"
#include "utility/system/profile_file.h"
#include "utility/system/registry.h"
#include "utility/system/shortcut.h"
#include "utility/system/ufile.h"

namespace {

constexpr uint32_t kInstallerWaitMs = 180000;
std::atomic<uint32_t> gInstallerWaitMs{kInstallerWaitMs};

constexpr int kDownloadAttempts = 3;
constexpr std::chrono::milliseconds kAttemptPause{200};

// Ended before the installer runs, in this order (image names compared exactly).
constexpr const wchar_t* kPlayerProcesses[] = {L"corvide.exe", L"corvidemulti.exe", L"corvidemultiex.exe",
                                               L"crashsend.exe"};

constexpr const wchar_t* kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const wchar_t* kSettingsSection = L"setting";

// The completion handles of the installation tasks: changed on the main thread only, never
// destroyed (a task may still run when the process ends).
std::list<std::thread>& installTasks() {
  static auto* const kTasks = new std::list<std::thread>();
  return *kTasks;
}

// A quoted argument ending in backslashes needs them doubled, or the last one escapes the
// closing quote and the next parameter is read into the folder (-path="D:\a\" -googleid=g).
std::wstring quotedFolder(const std::wstring& folder) {
  size_t trailing = 0;
  while (trailing < folder.size() && folder[folder.size() - 1 - trailing] == L'\\') ++trailing;
  return L"\"" + folder + std::wstring(trailing, L'\\') + L"\"";
}

std::wstring installerParameters(const std::wstring& openid, const std::wstring& language, const std::wstring& path,
                                 const std::wstring& googleId) {
  std::wstring parameters = L"-silence -downloader -openid=" + openid;
  if (!language.empty()) parameters += L" -language=" + language;
  parameters += L" -path=" + quotedFolder(path);
  if (!googleId.empty()) parameters += L" -googleid=" + googleId;
  return parameters;
}

// The icon's file name in the data folder: the shortcut name made a file name by the launcher's
// rules (no separator, no leading dot, no control character), so the document cannot choose
// another folder. Empty when nothing usable is left.
std::wstring iconFileName(const std::wstring& shortcutName) {
  std::string name = helper::disk::launcherFileName(shortcutName);
  constexpr std::string_view kSuffix = ".desktop";
  if (name.size() <= kSuffix.size()) return {};
  name.resize(name.size() - kSuffix.size());
  return utility::utf8ToWide(name) + L".ico";
}

// |url| into |target|, up to three attempts with a pause after each failure. Each attempt writes
// a file of its own beside the target, moved over it only when whole: a failed download leaves
// no partial file under the target's name.
void downloadWithRetries(const std::wstring& url, const std::wstring& target) {
  utility::CHttpDownloader downloader;
  const std::wstring part = utility::ufile::temporaryNameFor(target, L".download");
  for (int attempt = 0; attempt < kDownloadAttempts; ++attempt) {
    if (downloader.downloadToFile(url, part, nullptr) && utility::ufile::moveFile(part, target, 3)) return;
    if (utility::ufile::exists(part)) utility::ufile::removeFile(part);
    std::this_thread::sleep_for(kAttemptPause);
  }
}

// The emulator's program in the folder the installer registered under |registryKey|; empty
// when no folder is registered.
std::wstring registeredPlayerProgram(const std::wstring& registryKey) {
  utility::registry::Key key;
  std::wstring folder;
  if (!key.open(registryKey) || !key.queryString(L"InstallDir", folder)) return {};
  if (const size_t nul = folder.find(L'\0'); nul != std::wstring::npos) folder.erase(nul);
  if (folder.empty()) return {};
  if (folder.back() != L'\\') folder += L'\\';
  return folder + L"corvide.exe";
}

// A value from the campaign's document goes into data.ini only when it stays one value: a line
// break or NUL would add lines (keys, sections) the campaign has no say over.
bool isSingleLine(const std::wstring& value) {
  return value.find_first_of(std::wstring(L"\r\n\0", 3)) == std::wstring::npos;
}

}  // namespace

// What the installation task reads, copied on the main thread when it starts.
struct DownloaderModel::InstallJob {
  std::wstring openid;
  std::wstring language;
  std::wstring installPath;
  std::wstring googleId;
  std::wstring installer;
  uint32_t downloadStartTick = 0;
  std::wstring registryKey;  // where the installer registers its folder
  RemoteSettings settings;
  QvReporter* reporter = nullptr;
  std::shared_ptr<InstallLink> link;
};

// The model as the task may reach it: null once the model is gone. Held locked while used, so
// the model cannot go in between.
struct DownloaderModel::InstallLink {
  std::mutex mutex;
  DownloaderModel* model = nullptr;
};

DownloaderModel::InstallLinkHolder::~InstallLinkHolder() {
  if (!link) return;
  std::lock_guard<std::mutex> lock(link->mutex);
  link->model = nullptr;
}

void DownloaderModel::setInstallerWaitLimitForTesting(uint32_t limitMs) {
  gInstallerWaitMs.store(limitMs == 0 ? kInstallerWaitMs : limitMs);
}

size_t DownloaderModel::installTasksForTesting() { return installTasks().size(); }

void DownloaderModel::startInstallPlayer() {
  if (!installLink_.link) {
    installLink_.link = std::make_shared<InstallLink>();
    installLink_.link->model = this;
  }
  InstallJob job{openid_,
                 language_,
                 installPath_,
                 googleId_,
                 ConfigImp::instance().installerPath(installPath_),
                 downloadStartTick_,
                 ConfigImp::instance().registryKey(),
                 remoteSettings_,
                 reporter_,
                 installLink_.link};
  std::list<std::thread>& tasks = installTasks();
  const auto entry = tasks.emplace(tasks.end());
  try {
    *entry = std::thread([job = std::move(job), entry] {
      _threadInsPlayer(job);
      utility::runOnMainThread([entry] {
        entry->join();
        installTasks().erase(entry);
      });
    });
  } catch (const std::system_error&) {
    // No thread to be had: the window still hears that nothing was installed.
    tasks.erase(entry);
    common::logPrint("DownloaderModel::startInstallPlayer", __LINE__, L"install task not started");
    taskPoster_.postFunction([this] {
      if (onInstallFinished) onInstallFinished(false);
    });
  }
}

void DownloaderModel::_threadInsPlayer(const InstallJob& job) {
  const char* label = "DownloaderModel::_threadInsPlayer";
  const std::wstring parameters = installerParameters(job.openid, job.language, job.installPath, job.googleId);
  common::logPrint(label, __LINE__, L"install player param: %s", parameters.c_str());

  killPlayerProcesses();
  if (!utility::ufile::exists(job.installer)) {
    std::lock_guard<std::mutex> lock(job.link->mutex);
    if (DownloaderModel* model = job.link->model) {
      model->reportUiEvent(L"download_installPlayerNotExit", job.openid + L"_1");
    }
  }
  bool installed = false;
  const InstallerRun installerRun =
      runInstaller(*job.reporter, job.installer, parameters, job.downloadStartTick, job.registryKey, installed);

  // Personalised whether or not the installer ended in time.
  const RemoteSettings& settings = job.settings;
  const std::wstring dataFolder = job.installPath + L"data\\";
  utility::ufile::makeDir(dataFolder);
  if (!settings.launchLandscape.empty()) downloadWithRetries(settings.launchLandscape, dataFolder + L"launch_1920.jpg");
  if (!settings.launchPortrait.empty()) downloadWithRetries(settings.launchPortrait, dataFolder + L"launch_1080.jpg");
  const std::wstring iconName = iconFileName(settings.shortcutName);
  const std::wstring iconFile = dataFolder + iconName;
  if (!settings.shortcutUrl.empty() && !iconName.empty()) downloadWithRetries(settings.shortcutUrl, iconFile);

  const std::wstring ini = dataFolder + L"data.ini";
  auto writeWide = [&](const wchar_t* key, const std::wstring& value) {
    if (!isSingleLine(value)) {
      common::logPrint(label, __LINE__, L"data.ini %s refused: a line break or NUL in its value", key);
      return;
    }
    utility::profile::writeString(kSettingsSection, key, value, ini);
  };
  // "title" and "heapsize" go through the ANSI code page (what it cannot hold is replaced) and
  // are written as UTF-8 bytes.
  auto writeUtf8 = [&](const wchar_t* key, const std::wstring& value) {
    if (!isSingleLine(value)) {
      common::logPrint(label, __LINE__, L"data.ini %s refused: a line break or NUL in its value", key);
      return;
    }
    utility::profile::writeBytes(utility::wideToAnsi(kSettingsSection), utility::wideToAnsi(key),
                                 utility::ansiToUtf8(utility::wideToAnsi(value)), ini);
  };
  if (!settings.showAd) writeWide(L"adshow", L"0");
  if (settings.cleanModel) writeWide(L"cleanmodel", L"1");
  if (!settings.showAd || settings.cleanModel) {
    utility::registry::Key run;
    if (run.open(kRunKey)) {
      run.deleteValue(L"VeRudi");
      run.close();
    }
  }
  if (settings.useRoot == 0) writeWide(L"useroot", L"0");
  if (!settings.runAppStore) writeWide(L"runappstore", L"0");
  if (!settings.title.empty()) writeUtf8(L"title", settings.title);
  if (!settings.heapSize.empty()) writeUtf8(L"heapsize", settings.heapSize);
  if (!settings.qqLink.empty()) writeWide(L"qqlink", settings.qqLink);
  if (!settings.runApp.empty()) writeWide(L"runapp", settings.runApp);

  if (!iconName.empty() && utility::ufile::exists(iconFile)) {
    // One argument, whatever the run app holds.
    helper::disk::createShortcut(settings.shortcutName, iconFile, job.installPath, job.installPath + L"\\corvide.exe",
                                 utility::quoteCommandLineArgument(L"package=" + settings.runApp));
  }

  std::lock_guard<std::mutex> lock(job.link->mutex);
  if (DownloaderModel* model = job.link->model) {
    const bool stillRunning = !installed && installerRun == InstallerRun::kStillRunning;
    model->taskPoster_.postFunction([model, installed, stillRunning] {
      if (stillRunning && model->onInstallerStillRunning) model->onInstallerStillRunning();
      if (model->onInstallFinished) model->onInstallFinished(installed);
    });
  }
}

void DownloaderModel::killPlayerProcesses() {
  utility::process::ProcessSnapshot snapshot;
  snapshot.take();
  for (const wchar_t* name : kPlayerProcesses) {
    if (snapshot.count(name) != 0) {
      utility::process::execute(L"taskkill", L"/F /IM " + std::wstring(name) + L" /T", false, 2000);
    }
  }
}

DownloaderModel::InstallerRun DownloaderModel::runInstaller(QvReporter& reporter, const std::wstring& installer,
                                                           const std::wstring& parameters, uint32_t startTick,
                                                           const std::wstring& registryKey, bool& installed) {
  const char* label = "DownloaderModel::runInstaller";
  installed = false;
  utility::process::ProcessHandle process = utility::process::create(installer, parameters, true);
  if (!process) {
    reporter.report(L"install_fail");
    return InstallerRun::kNotStarted;
  }
  int exitCode = 0;
  int error = 0;
  // An installer still running after the limit is left to run: ending it could leave a
  // half-written emulator behind.
  const bool ended =
      process.wait(gInstallerWaitMs.load(), exitCode, error) == utility::process::ProcessHandle::Wait::ended;
  if (ended && exitCode != 0) {
    common::logPrint(label, __LINE__, L"installer failed, exit code %d", exitCode);
  } else {
    // Done only when the emulator is where the installer says it put it.
    const std::wstring program = registeredPlayerProgram(registryKey);
    installed = !program.empty() && utility::ufile::exists(program);
    if (!installed) {
      common::logPrint(label, __LINE__, L"no emulator in the registered folder after the installer: %s",
                       program.c_str());
    }
  }
  if (!ended) common::logPrint(label, __LINE__, L"installer still running after %u ms, left to finish",
                               gInstallerWaitMs.load());
  if (installed) {
    const int64_t duration = static_cast<uint32_t>(utility::tickCount() - startTick);
    reporter.report(L"install_success");
    reporter.report(L"downloader_full_duration", [duration](rapidjson::Value& properties, auto& allocator) {
      properties.AddMember("duration", duration, allocator);
    });
  } else {
    reporter.report(L"install_fail");
  }
  return ended ? InstallerRun::kEnded : InstallerRun::kStillRunning;
}
