// The campaign apps the installer installs itself, after the emulator: every app's package, OBB
// data and icon are downloaded into the installation folder, each package is installed into the
// emulator's first instance with its console tool (shortcuts for apps with an icon), and the
// emulator is started with the last package. The work runs once, on a thread of its own; the
// window only shows it, through its observer, which is called on the main thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/app_info.h"
#include "net/http_downloader.h"
#include "utility/base/progress_throttle.h"
#include "utility/base/tasks.h"
#include "utility/base/work_thread.h"

class AppInstallJob : public utility::CHttpDownloader::IHttpDownloadSink {
 public:
  // Main thread, in this order: a step and progress per app, then the installation, then the end.
  class Observer {
   public:
    virtual ~Observer() = default;
    // The downloads of the app at |index| (1-based, in list order) begin.
    virtual void onAppStep(int index) = 0;
    // The platform client's byte counts for the current download, at most one a second (and the
    // last chunk).
    virtual void onAppProgress(int64_t received, int64_t total) = 0;
    // The libcurl fallback's percentage (0 to 99).
    virtual void onAppFallbackPercent(int percent) = 0;
    // Every download has ended: the console tool installs the packages.
    virtual void onAppsInstalling() = 0;
    // The emulator has been started with the last package (unless the job was started without
    // the launch): the installer's work is done.
    virtual void onAppsLaunched() = 0;
  };

  // A run installs at most this many apps, the first ones of the list: a campaign document may
  // name any number, and each costs its downloads and a console run of up to two minutes. The
  // rest are skipped and logged.
  static constexpr size_t kMaxApps = 20;
  // The downloads of one app (OBB data, icon and package, on both stacks) end after this long,
  // however slowly a server trickles; the app is then installed with what arrived, if anything.
  static constexpr std::chrono::milliseconds kAppDownloadLimit{std::chrono::minutes(30)};
  // Tests: a shorter limit (zero restores kAppDownloadLimit).
  static void setAppDownloadLimitForTesting(std::chrono::milliseconds limit);

  explicit AppInstallJob(Observer& observer);
  // Detaches and waits a second for the thread; a thread still running a console tool is left
  // to end on its own and reaches nothing of this object.
  ~AppInstallJob() override;
  AppInstallJob(const AppInstallJob&) = delete;
  AppInstallJob& operator=(const AppInstallJob&) = delete;

  // Main thread: starts the work on a copy of |apps| into |folder|. The job runs once: a second
  // call starts nothing and returns false. Without |launchAtEnd| the emulator is not started at
  // the end (an unattended installation that was not asked to); onAppsLaunched still comes.
  bool start(std::vector<AppInfo> apps, std::wstring folder, bool launchAtEnd = true);
  // Main thread: the observer is going. The download under way is cancelled (no fallback is
  // tried for it), nothing more reaches the observer and the emulator is not started.
  void detach();

  // Platform client progress (transfer thread).
  bool onHttpProgress(const char* data, int length, int64_t received, int64_t total) override;

  // Runs the console tool's "modify" with |resolution| (nothing when it is empty), waiting for it.
  static void setResolution(const std::wstring& folder, const std::wstring& resolution);
  // Tests: the tick count the progress throttle reads (null: the system's).
  static void setTickSourceForTesting(uint32_t (*tick)());

  // Starts the emulator of |folder| with "package=" and |package| (main thread).
  static void launchWithPackage(const std::wstring& folder, const std::wstring& package);

 private:
  struct Link;
  static void _threadDownloadApk(const std::shared_ptr<Link>& link);

  Observer* observer_;  // null once detached
  std::shared_ptr<Link> link_;
  utility::CHttpDownloader downloader_;
  utility::TaskPoster poster_;
  utility::ProgressThrottle progressThrottle_;
  utility::WorkThread thread_;  // last: stopped before anything it reaches is destroyed
};
