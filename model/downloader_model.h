// The installer's model: everything the installation needs and every step that is not drawing.
// One instance per process, created on first use on the main thread. Its concerns are split
// over several files: downloader_model.cpp (life cycle, single instance, accessors),
// downloader_model_launch.cpp (init: own name, command line, language), and one file per later
// concern (installation path, remote configuration, download, installation, launch, language).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "model/app_info.h"
#include "model/remote_settings.h"
#include "net/http_downloader.h"
#include "telemetry/analytics_client.h"
#include "utility/base/progress_throttle.h"
#include "utility/base/tasks.h"
#include "utility/system/shell_token.h"
#include "utility/system/usystem.h"
#include "utility/base/work_thread.h"

class QvReporter;
namespace utility {
class Sha256;
}

inline constexpr const wchar_t* kInstanceName = L"{2266E930-7040-4A6B-B7C8-E44663785cdd}";
inline constexpr unsigned kShowInstanceMessage = 11123;

class DownloaderModel : public utility::CHttpDownloader::IHttpDownloadSink {
 public:
  static DownloaderModel& instance();
  // Null when the model does not exist (before first use, after deletion).
  static DownloaderModel* existing();
  // Deletes the model and clears the process-wide reference (after shutdown). A model whose
  // work threads outlived their stop limits is kept alive instead: they still use it.
  static void destroy();

  bool popupExistPwnd();
  void init(const wchar_t* commandLine);
  // Stops the timer, the instance lock, the work threads (1000 ms each), analytics and the posted
  // tasks. False when a work thread is still running after its limit.
  bool shutdown();

  std::wstring getOpenid() const { return openid_; }
  std::wstring getLocale() const { return locale_; }
  std::wstring getLanguage() const { return language_; }
  std::wstring getInstallPath() const { return installPath_; }
  // The window's choice of folder (already completed into an installation path).
  void setInstallPath(const std::wstring& path) { installPath_ = path; }
  std::wstring getBestPath() const { return bestPath_; }
  uint8_t getBestPathFlag() const { return bestPathFlag_; }
  // ---- path chooser tests: the recommended folder as the drive facts would give it ----
  void setBestPathForTesting(const std::wstring& path, uint8_t ssdFlag) {
    bestPath_ = path;
    bestPathFlag_ = ssdFlag;
  }
  std::wstring getPackage() const { return package_; }
  std::wstring getGoogleId() const { return googleId_; }
  // The apps of the command line, joined by the campaign's apps once the config thread has handed
  // them to the main thread (main thread).
  const std::vector<AppInfo>& getApps() const { return apps_; }
  // The installer's address: written by the config thread, read by the main thread.
  std::wstring getPlayerUrl() const;
  void setPlayerUrl(const std::wstring& url);
  // What the player information says the installer at the address is: its length in bytes and
  // its SHA-256 (hex); absent members leave -1 and empty, which check nothing.
  struct InstallerFacts {
    int64_t size = -1;
    std::string sha256{};
  };
  // The address with the facts that came with it (another address comes without any).
  void setPlayerUrl(const std::wstring& url, const InstallerFacts& facts);
  InstallerFacts getInstallerFacts() const;
  // The campaign's settings; initial values until the config thread has handed them over (main thread).
  const RemoteSettings& getRemoteSettings() const { return remoteSettings_; }
  // Whether the config thread has ended and its apps and settings have reached the main thread
  // (main thread).
  bool remoteConfigArrived() const { return remoteConfigArrived_; }
  void setLocale(const std::wstring& locale);
  // Loads a string bundle (the whole file as wide text) into the strings; false when it is not
  // a well-formed document (main thread).
  bool loadLanguage(const std::wstring& text);
  const std::map<std::wstring, std::wstring>& getStrings() const { return strings_; }

  // Analytics events: queued for the client's worker, or sent at once on this thread (exit
  // paths). Both do nothing once the client is closed.
  void reportUiEvent(const std::wstring& name, const std::wstring& label);
  void sendUiEvent(const std::wstring& name, const std::wstring& label);

  // ---- Launch of the installed emulator as the desktop user (downloader_model_run.cpp) ----
  // The identity an un-elevated start runs as (opaque: the desktop shell's token on Windows, the
  // user this process runs as once root was given up at start on Linux).
  using ShellToken = utility::process::ShellToken;
  // runPlayer with "downloadpackage=<package>|package=<package>"; without parameters when the
  // package is empty or not an Android package name (main thread).
  void runPlayerWithPackage();
  // Starts "<installPath>\corvide.exe" with |parameters| un-elevated, through the shell when that
  // fails (main thread).
  void runPlayer(const std::wstring& parameters);
  // 0 when |program| was started un-elevated, -1 otherwise, with the system's error code in
  // |error| when given. |parameters| may be null.
  static int runWithShellToken(const wchar_t* program, const wchar_t* parameters, int* error = nullptr);
  // The un-elevated identity and status 0; none and the system's error code otherwise (2: no
  // desktop shell to take it from; on Linux a process that runs as root, for which no desktop
  // user was known at start).
  static bool getShellToken(ShellToken& token, int& status);

  // Installer download (main thread): starts the download thread, or waits for the player
  // address first (see downloader_model_download.cpp). A second call while the thread is held
  // starts nothing.
  void startDownloadPlayer();
  // Platform client progress (transfer thread): at most one posted progress per second.
  bool onHttpProgress(const char* data, int length, int64_t received, int64_t total) override;
  // The elapsed time the download logs: whole seconds rounded up to a multiple of 30.
  static int roundedElapseSeconds(uint32_t startTick, uint32_t endTick);
  // Tests: the wait task's period (0 restores 1000 ms), the tick count the download reads (null:
  // the system's), and the process-wide count of wait-task runs.
  static void setDefaultUrlPeriodForTesting(uint32_t periodMs);
  static void setTickSourceForTesting(uint32_t (*tick)());
  static int defaultUrlTicksForTesting();
  static void resetDefaultUrlTicksForTesting();

  // Tests: runs in shutdown right after the instance lock has been let go.
  std::function<void()> onInstanceLockReleasedForTesting;

  // Callbacks set by the main window; called on the main thread only.
  // Byte counts in full: an installer may exceed 4 GiB.
  std::function<void(int percent, int64_t received, int64_t total)> onDownloadProgress;
  std::function<void(int percent)> onCurlProgress;
  // The fallback's byte counts with each of its reports (total 0 while unknown): the window's
  // rate line takes them.
  std::function<void(int64_t received, int64_t total)> onCurlTransfer;
  std::function<void()> onDownloadSuccess;
  // The download failed on every stack; |cause| as far as the stacks could tell it. The partial
  // files are gone, and startDownloadPlayer starts a fresh download.
  std::function<void(net::DownloadFailure cause)> onDownloadFail;
  // |installed|: the installer has ended (or is still running) and the emulator's program is in
  // the folder the installer registered. False for an installer that could not start, failed,
  // or was still running at the time limit without the program.
  std::function<void(bool installed)> onInstallFinished;
  // Just before onInstallFinished (false): the installer is still running after the time limit.
  // It is left to finish (never ended half way).
  std::function<void()> onInstallerStillRunning;

 private:
  DownloaderModel();
  ~DownloaderModel() override;
  DownloaderModel(const DownloaderModel&) = delete;
  DownloaderModel& operator=(const DownloaderModel&) = delete;

  void _initFrom(const std::wstring& modulePath, const wchar_t* commandLine);
  void _readLaunchName(const std::wstring& modulePath);
  void _readCommandLine(const wchar_t* commandLine);
  void _calcInstallPath();
  void _prepareConfigRequest();
  void _threadGetPlayerUrl();
  void _getPackageByOpenID(std::vector<AppInfo>& apps, RemoteSettings& settings);
  // Installer download
  void _waitForPlayerUrl();
  void _threadDownloadPlayer();
  bool _downloadByNet(const std::wstring& target, const std::wstring& file, net::FileTransfer& transfer);
  // libcurl into the partial file, continuing it where it can.
  bool _downloadByCurl(const std::wstring& file, net::FileTransfer& transfer);
  // The downloaded file against the player information's size and SHA-256 (when it gave them);
  // a mismatch is logged and makes the download fail with net::DownloadFailure::kIntegrityMismatch.
  bool _checkInstaller(const std::wstring& file, const utility::Sha256& digest, const InstallerFacts& facts);
  // Once the transfer has stopped: a download that did not succeed leaves no file behind.
  void _removePartialDownload();
  // On leaving during the download: a partial file that can be continued stays for a later
  // run, anything else goes.
  void _leavePartialDownload();

  std::wstring package_;
  utility::WorkThread configThread_;
  utility::CHttpDownloader configClient_;
  struct ConfigRequest {
    std::wstring playerInfoUrl;
    int generation = 0;
    std::wstring openidConfigUrl;
    bool fetchCampaign = false;  // no app came from the command line
  } configRequest_;  // what the config thread fetches, fixed before it starts
  utility::WorkThread downloadThread_;
  utility::CHttpDownloader downloadClient_;
  utility::TaskPoster taskPoster_;
  utility::usystem::InstanceMutex instanceMutex_;
  std::wstring installPath_;
  std::wstring openid_ = L"35036";
  mutable std::mutex playerUrlMutex_;  // guards playerUrl_
  std::wstring playerUrl_;
  InstallerFacts installerFacts_;  // guarded by playerUrlMutex_, with the address
  std::wstring language_;
  std::wstring locale_;
  std::wstring googleId_;
  utility::TaskTimer defaultUrlTimer_;
  utility::ProgressThrottle progressThrottle_;
  uint32_t downloadStartTick_ = 0;
  net::DownloadFailure downloadFailure_ = net::DownloadFailure::kUnknown;  // download thread
  bool downloadFailed_ = false;  // main thread: the last download's failure has arrived
  // A download was started, and whether it delivered the installer (download thread, then
  // read by shutdown once the thread has ended).
  std::atomic<bool> downloadStarted_{false};
  std::atomic<bool> downloadSucceeded_{false};
  int progressPercent_ = 0;
  std::map<std::wstring, std::wstring> strings_;
  std::vector<AppInfo> apps_;
  AnalyticsClient analytics_;
  RemoteSettings remoteSettings_;
  bool remoteConfigArrived_ = false;
  QvReporter* reporter_;  // the process's reporter; tests give their own
  std::wstring bestPath_;
  uint8_t bestPathFlag_ = 0;
  bool threadsOutlived_ = false;  // a work thread missed its stop limit and still runs

  // Installation (downloader_model_install.cpp): the task works on a copy of what it needs and
  // reaches the model (analytics, the posted result) only through the link, which the model cuts
  // when it goes.
 public:
  // Main thread, after onDownloadSuccess: returns at once; onInstallFinished follows.
  void startInstallPlayer();
  // Tests: how long runInstaller waits for the installer (0 restores 180000 ms).
  static void setInstallerWaitLimitForTesting(uint32_t limitMs);
  // Tests: installation tasks whose completion the main thread has not yet collected.
  static size_t installTasksForTesting();
 private:
  struct InstallJob;
  struct InstallLink;
  struct InstallLinkHolder {
    std::shared_ptr<InstallLink> link;
    ~InstallLinkHolder();
  };
  static void _threadInsPlayer(const InstallJob& job);
  static void killPlayerProcesses();
  // How the installer's run ended.
  enum class InstallerRun { kNotStarted, kEnded, kStillRunning };
  static InstallerRun runInstaller(QvReporter& reporter, const std::wstring& installer,
                                   const std::wstring& parameters, uint32_t startTick,
                                   const std::wstring& registryKey, bool& installed);
  InstallLinkHolder installLink_;  // last: cut before anything the task reaches is destroyed

  friend class DownloaderModelTest;
};
