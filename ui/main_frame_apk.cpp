// App packages: after the emulator's installation the first campaign app decides whether the
// emulator fetches it itself (launch parameters) or the window downloads every app, installs
// each into the emulator's first instance with its console tool and starts the emulator.
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "model/app_info.h"
#include "model/downloader_model.h"
#include "model/package_name.h"
#include "net/fetch_rules.h"
#include "net/qv_curl_downloader.h"
#include "toolkit/text_table.h"
#include "ui/apk_names.h"
#include "ui/main_frame.h"
#include "utility/base/main_loop.h"
#include "utility/base/runable.h"
#include "utility/base/strings.h"
#include "utility/system/disk.h"
#include "utility/system/log.h"
#include "utility/system/process.h"
#include "utility/system/ufile.h"

using toolkit::langString;

struct CMainFrame::ApkLink {
  std::mutex mutex;
  CMainFrame* frame = nullptr;          // null once the window is gone
  std::atomic<bool> going{false};       // set before the window's downloader is cancelled
  std::vector<AppInfo> apps;    // the model's apps when the thread was started
  std::wstring folder;          // the installation folder then
};

namespace {

constexpr const char* kThreadLabel = "CMainFrame::_threadDownloadApk";
constexpr uint32_t kInstallLimitMs = 120000;
constexpr int kIconAttempts = 3;

// A failed transfer is a failure on both stacks: an error page is never kept as a package, nor
// a body cut short that cannot be told from a whole one.
net::FetchRules packageRules() { return net::FetchRules{.httpErrorsFail = true, .delimitedBodyOnly = true}; }

// What one app's step works with.
struct AppJob {
  const AppInfo* app = nullptr;
  bool accepted = false;
  std::wstring packageFile, obbFile, iconFile;
};

AppJob prepare(const AppInfo& app, const std::wstring& folder) {
  AppJob job;
  job.app = &app;
  // The package names the OBB and icon files and reaches the console tool and the launch: only
  // an Android package name can do neither harm.
  if (!isAndroidPackageName(app.package)) {
    common::logPrint(kThreadLabel, __LINE__, L"app skipped, package is not an Android package name: %s",
                     apknames::safeLaunchValue(app.package).c_str());
    return job;
  }
  std::wstring stem = apknames::safeFileStem(app.name);
  if (stem.empty()) stem = app.package;
  if (stem != app.name) {
    common::logPrint(kThreadLabel, __LINE__, L"app name cannot name a file, the package file is %s", stem.c_str());
  }
  job.accepted = true;
  job.packageFile = folder + L"\\" + stem + (app.isXapk ? L".xapk" : L".apk");
  job.obbFile = folder + L"\\" + app.package + L".obb";
  job.iconFile = folder + L"\\" + app.package + L".ico";
  return job;
}

// Nothing may stay under |file| from an earlier run: a failed download then leaves no file the
// console tool would install in place of the one that failed.
void clearTarget(const std::wstring& file) {
  for (const std::wstring& path : {file, file + L".tmp"}) {
    if (utility::ufile::exists(path)) utility::ufile::removeFile(path);
  }
}

std::wstring installCommand(const AppJob& job) {
  std::wstring command = L"installapk --index 0";
  command += L" --filename \"" + job.packageFile + L"\"";
  if (!job.app->obb.empty()) {
    command += L" --packagename " + job.app->package;
    command += L" --fileobb \"" + job.obbFile + L"\"";
  }
  command += L" --wait --hide";
  return command;
}

}  // namespace

void CMainFrame::dispatchApps() {
  const AppInfo& app = DownloaderModel::instance().getApps().front();
  using apknames::safeLaunchValue;
  const std::wstring head = L"apk=" + safeLaunchValue(app.spare) + L"|show=true|package=" + app.package;
  if (app.fromAppStore) {
    return handOverApp(head + L"|downloadapkurl=" + safeLaunchValue(app.url) + L";S.package=" + app.package +
                       L";S.appname=" + safeLaunchValue(app.name) + L";S.appicon=" +
                       safeLaunchValue(app.screenshot) + L";S.appsize=96");
  }
  if (!app.gameId.empty()) return handOverApp(head + L"|downloadgameid=" + safeLaunchValue(app.gameId));
  if (app.package.empty() || !app.url.empty()) {
    selectTab(kApkPage);
    setText(L"apkinstallprogresslabel", langString("progress_downloading_label") + L" " + app.name);
    currentAppName_ = app.name;
    startApkDownload();
    return;
  }
  handOverApp(head + L"|downloadpackage=" + app.package);
}

void CMainFrame::handOverApp(const std::wstring& parameters) {
  DownloaderModel& model = DownloaderModel::instance();
  const AppInfo& app = model.getApps().front();
  if (isAndroidPackageName(app.package)) {
    model.runPlayer(parameters);
  } else {
    // The package would add keys or arguments to the launch: the emulator starts without the app.
    common::logPrint("CMainFrame::dispatchApps", __LINE__,
                     L"app not handed over, package is not an Android package name: %s",
                     apknames::safeLaunchValue(app.package).c_str());
    model.runPlayer(L"");
  }
  utility::MainLoop::quit();
}

void CMainFrame::startApkDownload() {
  // The thread's copy of the list and folder is made here, on the main thread that owns them;
  // the index is reset before any step of it is posted.
  if (apkLink_) return;  // the app step runs once
  DownloaderModel& model = DownloaderModel::instance();
  apkLink_ = std::make_shared<ApkLink>();
  apkLink_->frame = this;
  apkLink_->apps = model.getApps();
  apkLink_->folder = model.getInstallPath();
  apkIndex_ = 0;
  Runable* task = makeRunable(this, &CMainFrame::_threadDownloadApk);
  if (!apkThread_.start(task)) task->release();
}

void CMainFrame::cutApkLink() {
  if (!apkLink_) return;
  // The thread must not take a cancelled download for a failed one and start the fallback.
  apkLink_->going.store(true);
  apkDownloader_.cancel();
  // Waits for the package download under way, which has just been cancelled.
  std::lock_guard<std::mutex> lock(apkLink_->mutex);
  apkLink_->frame = nullptr;
}

void CMainFrame::_threadDownloadApk() {
  // From here on the window is reached only through the link: it may be gone at any step.
  const std::shared_ptr<ApkLink> link = apkLink_;
  const std::wstring& folder = link->folder;
  const auto withFrame = [&link](auto&& use) {
    std::lock_guard<std::mutex> lock(link->mutex);
    if (link->frame == nullptr || link->going.load()) return false;
    use(*link->frame);
    return true;
  };
  const auto post = [&withFrame](auto function) {
    withFrame([&function](CMainFrame& frame) { frame.taskPoster_.postFunction([&frame, function] { function(frame); }); });
  };

  std::vector<AppJob> jobs;
  jobs.reserve(link->apps.size());
  std::wstring resolution;
  for (const AppInfo& app : link->apps) {
    post([](CMainFrame& frame) { frame.apkIndex_ += 1; });
    jobs.push_back(prepare(app, folder));
    const AppJob& job = jobs.back();
    if (!job.accepted) continue;

    if (!app.obb.empty()) {
      clearTarget(job.obbFile);
      const std::wstring temp = job.obbFile + L".tmp";
      bool ok = false;
      withFrame([&](CMainFrame& frame) { ok = frame.apkDownloader_.downloadToFile(app.obb, temp, &frame, packageRules()); });
      if (ok) {
        utility::ufile::moveFile(temp, job.obbFile, 3);
      } else if (utility::ufile::exists(temp)) {
        utility::ufile::removeFile(temp);
      }
    }

    if (!app.icon.empty()) {
      utility::CHttpDownloader iconClient;
      for (int attempt = 0; attempt < kIconAttempts; ++attempt) {
        if (iconClient.downloadToFile(app.icon, job.iconFile, nullptr)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    }

    if (!app.resolution.empty()) {
      if (apknames::isSafeResolution(app.resolution)) {
        resolution = app.resolution;
      } else {
        common::logPrint(kThreadLabel, __LINE__, L"resolution refused: %s",
                         apknames::safeLaunchValue(app.resolution).c_str());
      }
    }
    clearTarget(job.packageFile);
    const std::wstring temp = job.packageFile + L".tmp";
    bool ok = false;
    withFrame([&](CMainFrame& frame) { ok = frame.apkDownloader_.downloadToFile(app.url, temp, &frame, packageRules()); });
    // A window that is going has cancelled the download; libcurl's transfer could not be.
    if (!ok && withFrame([](CMainFrame&) {})) {
      // libcurl reports on this thread: each percentage reaches the bar as a posted task.
      const auto onProgress = [&post](int percent) {
        post([percent](CMainFrame& frame) { frame.setProgress(L"apkinstallprogressbar", percent); });
      };
      ok = QvCurlDownloader::downloadFile(temp, utility::wideToAnsi(app.url), onProgress, packageRules());
    }
    if (ok) {
      utility::ufile::moveFile(temp, job.packageFile, 3);
    } else if (utility::ufile::exists(temp)) {
      utility::ufile::removeFile(temp);
    }
  }

  if (!resolution.empty()) {
    common::logPrint(kThreadLabel, __LINE__, L"setup resolution %s", resolution.c_str());
    setResolution(folder, resolution);
  }

  post([](CMainFrame& frame) { frame.showApkInstalling(); });
  std::this_thread::sleep_for(std::chrono::milliseconds(500));

  std::wstring lastPackage;
  for (const AppJob& job : jobs) {
    if (!job.accepted) continue;
    const AppInfo& app = *job.app;
    if (utility::ufile::exists(job.iconFile)) {
      common::logPrint(kThreadLabel, __LINE__, L"create short cut %s", app.name.c_str());
      helper::disk::createShortcut(app.name, job.iconFile, folder, folder + L"\\corvide.exe", L"package=" + app.package);
    }
    utility::process::execute(folder + L"\\corvidectl.exe", installCommand(job), false, kInstallLimitMs);
    lastPackage = app.package;
  }

  post([lastPackage](CMainFrame& frame) { frame.launchWithPackage(lastPackage); });
}

void CMainFrame::setResolution(const std::wstring& folder, const std::wstring& resolution) {
  if (resolution.empty()) return;
  utility::process::execute(folder + L"\\corvidectl.exe", L"modify --index 0 --resolution " + resolution, false,
                            utility::process::kInfinite);
}

void CMainFrame::launchWithPackage(const std::wstring& package) {
  utility::process::shell(DownloaderModel::instance().getInstallPath() + L"\\corvide.exe", L"package=" + package, true,
                          false);
  showWindow(false);
  utility::MainLoop::quit();
}
