#include "model/app_install_job.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "model/apk_names.h"
#include "model/package_name.h"
#include "net/fetch_rules.h"
#include "net/qv_curl_downloader.h"
#include "utility/base/clock.h"
#include "utility/base/runable.h"
#include "utility/base/strings.h"
#include "utility/system/disk.h"
#include "utility/system/log.h"
#include "utility/system/process.h"
#include "utility/system/ufile.h"

// What the thread works from, and its way back to the job: the thread may outlive the job (a
// console run takes up to two minutes), so it reaches the job only through the link, which
// detach cuts.
struct AppInstallJob::Link {
  std::mutex mutex;
  AppInstallJob* job = nullptr;     // null once detached
  std::atomic<bool> going{false};   // set before the job's downloader is cancelled
  std::vector<AppInfo> apps;
  std::wstring folder;
  bool launch = true;  // start the emulator with the last package at the end
};

namespace {

constexpr const char* kThreadLabel = "CMainFrame::_threadDownloadApk";
constexpr uint32_t kInstallLimitMs = 120000;
constexpr int kIconAttempts = 3;

std::atomic<int64_t> gAppDownloadLimitMs{AppInstallJob::kAppDownloadLimit.count()};

// The time one app's downloads may still take.
class AppClock {
 public:
  AppClock() : end_(std::chrono::steady_clock::now() + std::chrono::milliseconds(gAppDownloadLimitMs.load())) {}
  std::chrono::milliseconds left() const {
    const auto rest = std::chrono::ceil<std::chrono::milliseconds>(end_ - std::chrono::steady_clock::now());
    return rest.count() > 0 ? rest : std::chrono::milliseconds(0);
  }
  bool over() const { return left().count() == 0; }
  // The deadline of a transfer started now: never zero, which would mean none.
  std::chrono::milliseconds deadline() const { return std::max(left(), std::chrono::milliseconds(1)); }

 private:
  std::chrono::steady_clock::time_point end_;
};

// A failed transfer is a failure on both stacks: an error page is never kept as a package, nor
// a body cut short that cannot be told from a whole one; none outlasts the app's time.
net::FetchRules packageRules(const AppClock& clock) {
  return net::FetchRules{.deadline = clock.deadline(), .httpErrorsFail = true, .delimitedBodyOnly = true};
}

// What one app's step works with.
struct AppFiles {
  const AppInfo* app = nullptr;
  bool accepted = false;
  std::wstring packageFile, obbFile, iconFile;
};

AppFiles prepare(const AppInfo& app, const std::wstring& folder) {
  AppFiles files;
  files.app = &app;
  // The package names the OBB and icon files and reaches the console tool and the launch: only
  // an Android package name can do neither harm. An app without one is still installed, from its
  // package file alone.
  if (!app.package.empty() && !isAndroidPackageName(app.package)) {
    common::logPrint(kThreadLabel, __LINE__, L"app skipped, package is not an Android package name: %s",
                     apknames::safeLaunchValue(app.package).c_str());
    return files;
  }
  std::wstring stem = apknames::safeFileStem(app.name);
  if (stem.empty()) stem = app.package;
  if (stem.empty()) {
    common::logPrint(kThreadLabel, __LINE__, L"app skipped, neither its name nor its package can name a file");
    return files;
  }
  if (stem != app.name) {
    common::logPrint(kThreadLabel, __LINE__, L"app name cannot name a file, the package file is %s", stem.c_str());
  }
  files.accepted = true;
  files.packageFile = folder + L"\\" + stem + (app.isXapk ? L".xapk" : L".apk");
  // The OBB data and the icon are named by the package: without one there is nothing to name them.
  if (!app.package.empty()) {
    files.obbFile = folder + L"\\" + app.package + L".obb";
    files.iconFile = folder + L"\\" + app.package + L".ico";
  }
  return files;
}

// Nothing may stay under |file| from an earlier run: a failed download then leaves no file the
// console tool would install in place of the one that failed.
void clearTarget(const std::wstring& file) {
  for (const std::wstring& path : {file, file + L".tmp"}) {
    if (utility::ufile::exists(path)) utility::ufile::removeFile(path);
  }
}

std::wstring installCommand(const AppFiles& files) {
  std::wstring command = L"installapk --index 0";
  command += L" --filename \"" + files.packageFile + L"\"";
  if (!files.obbFile.empty() && !files.app->obb.empty()) {
    command += L" --packagename " + files.app->package;
    command += L" --fileobb \"" + files.obbFile + L"\"";
  }
  command += L" --wait --hide";
  return command;
}

std::atomic<uint32_t (*)()> gTickSource{nullptr};

uint32_t readTick() {
  if (auto source = gTickSource.load()) return source();
  return utility::tickCount();
}

}  // namespace

void AppInstallJob::setAppDownloadLimitForTesting(std::chrono::milliseconds limit) {
  gAppDownloadLimitMs.store(limit.count() > 0 ? limit.count() : kAppDownloadLimit.count());
}

void AppInstallJob::setTickSourceForTesting(uint32_t (*tick)()) { gTickSource.store(tick); }

AppInstallJob::AppInstallJob(Observer& observer) : observer_(&observer) {}

AppInstallJob::~AppInstallJob() {
  detach();
  thread_.stop(1000);
}

bool AppInstallJob::start(std::vector<AppInfo> apps, std::wstring folder, bool launchAtEnd) {
  if (link_) return false;  // the job runs once
  link_ = std::make_shared<Link>();
  link_->job = this;
  link_->launch = launchAtEnd;
  link_->apps = std::move(apps);
  link_->folder = std::move(folder);
  const std::shared_ptr<Link> link = link_;
  Runable* task = makeRunable([link] { _threadDownloadApk(link); });
  if (thread_.start(task)) return true;
  task->release();
  return false;
}

void AppInstallJob::detach() {
  observer_ = nullptr;
  poster_.cancel();
  if (!link_) return;
  // The thread must not take a cancelled download for a failed one and start the fallback.
  link_->going.store(true);
  downloader_.cancel();
  // Waits for the package download under way, which has just been cancelled.
  std::lock_guard<std::mutex> lock(link_->mutex);
  link_->job = nullptr;
}

bool AppInstallJob::onHttpProgress(const char* /*data*/, int /*length*/, int64_t received, int64_t total) {
  // The last chunk is always shown: the bar must not stop short of the end.
  if (!progressThrottle_.due(readTick()) && received < total) return true;
  poster_.postFunction([this, received, total] {
    if (observer_ != nullptr) observer_->onAppProgress(received, total);
  });
  return true;
}

void AppInstallJob::_threadDownloadApk(const std::shared_ptr<Link>& link) {
  const std::wstring& folder = link->folder;
  const auto withJob = [&link](auto&& use) {
    std::lock_guard<std::mutex> lock(link->mutex);
    if (link->job == nullptr || link->going.load()) return false;
    use(*link->job);
    return true;
  };
  // |function| runs on the main thread with the observer, unless the job has been detached.
  const auto post = [&withJob](auto function) {
    withJob([&function](AppInstallJob& job) {
      job.poster_.postFunction([&job, function] {
        if (job.observer_ != nullptr) function(job, *job.observer_);
      });
    });
  };

  if (link->apps.size() > kMaxApps) {
    for (size_t i = kMaxApps; i < link->apps.size(); ++i) {
      common::logPrint(kThreadLabel, __LINE__, L"app skipped, a run installs at most %d apps: %s",
                       static_cast<int>(kMaxApps), apknames::safeLaunchValue(link->apps[i].name).c_str());
    }
    link->apps.resize(kMaxApps);
  }
  std::vector<AppFiles> jobs;
  jobs.reserve(link->apps.size());
  std::wstring resolution;
  int index = 0;
  for (const AppInfo& app : link->apps) {
    ++index;
    post([index](AppInstallJob&, Observer& observer) { observer.onAppStep(index); });
    jobs.push_back(prepare(app, folder));
    const AppFiles& files = jobs.back();
    if (!files.accepted) continue;
    const AppClock clock;

    if (!app.obb.empty() && !files.obbFile.empty()) {
      clearTarget(files.obbFile);
      const std::wstring temp = files.obbFile + L".tmp";
      bool ok = false;
      withJob([&](AppInstallJob& job) { ok = job.downloader_.downloadToFile(app.obb, temp, &job, packageRules(clock)); });
      if (ok) {
        utility::ufile::moveFile(temp, files.obbFile, 3);
      } else if (utility::ufile::exists(temp)) {
        utility::ufile::removeFile(temp);
      }
    }

    if (!app.icon.empty() && !files.iconFile.empty()) {
      utility::CHttpDownloader iconClient;
      for (int attempt = 0; attempt < kIconAttempts && !clock.over(); ++attempt) {
        if (iconClient.downloadToFile(app.icon, files.iconFile, nullptr, net::FetchRules{.deadline = clock.deadline()})) break;
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
    clearTarget(files.packageFile);
    const std::wstring temp = files.packageFile + L".tmp";
    bool ok = false;
    if (!clock.over()) {
      withJob([&](AppInstallJob& job) { ok = job.downloader_.downloadToFile(app.url, temp, &job, packageRules(clock)); });
    }
    // A job that was detached has cancelled the download; libcurl's transfer could not be.
    if (!ok && !clock.over() && withJob([](AppInstallJob&) {})) {
      // libcurl reports on this thread: each percentage reaches the observer as a posted task.
      const auto onProgress = [&post](int percent) {
        post([percent](AppInstallJob&, Observer& observer) { observer.onAppFallbackPercent(percent); });
      };
      ok = QvCurlDownloader::downloadFile(temp, utility::wideToAnsi(app.url), onProgress, packageRules(clock));
    }
    if (!ok && clock.over()) {
      common::logPrint(kThreadLabel, __LINE__, L"app download time limit reached: %s",
                       apknames::safeLaunchValue(app.name).c_str());
    }
    if (ok) {
      utility::ufile::moveFile(temp, files.packageFile, 3);
    } else if (utility::ufile::exists(temp)) {
      utility::ufile::removeFile(temp);
    }
  }

  if (!resolution.empty()) {
    common::logPrint(kThreadLabel, __LINE__, L"setup resolution %s", resolution.c_str());
    setResolution(folder, resolution);
  }

  post([](AppInstallJob&, Observer& observer) { observer.onAppsInstalling(); });
  std::this_thread::sleep_for(std::chrono::milliseconds(500));

  std::wstring lastPackage;
  for (const AppFiles& files : jobs) {
    if (!files.accepted) continue;
    const AppInfo& app = *files.app;
    if (!files.iconFile.empty() && utility::ufile::exists(files.iconFile)) {
      common::logPrint(kThreadLabel, __LINE__, L"create short cut %s", app.name.c_str());
      helper::disk::createShortcut(app.name, files.iconFile, folder, folder + L"\\corvide.exe", L"package=" + app.package);
    }
    utility::process::execute(folder + L"\\corvidectl.exe", installCommand(files), false, kInstallLimitMs);
    lastPackage = app.package;
  }

  post([lastPackage, folder, launch = link->launch](AppInstallJob&, Observer& observer) {
    if (launch) launchWithPackage(folder, lastPackage);
    observer.onAppsLaunched();
  });
}

void AppInstallJob::setResolution(const std::wstring& folder, const std::wstring& resolution) {
  if (resolution.empty()) return;
  utility::process::execute(folder + L"\\corvidectl.exe", L"modify --index 0 --resolution " + resolution, false,
                            utility::process::kInfinite);
}

void AppInstallJob::launchWithPackage(const std::wstring& folder, const std::wstring& package) {
  utility::process::shell(folder + L"\\corvide.exe", L"package=" + package, true, false);
}
