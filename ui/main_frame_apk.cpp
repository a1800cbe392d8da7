// App packages: after the emulator's installation the first campaign app decides whether the
// emulator fetches it itself (launch parameters) or the installer installs every app itself (the
// model's AppInstallJob); the window shows that job's progress and ends when it has started the
// emulator.
#include "model/app_dispatch.h"
#include "model/app_install_job.h"
#include "model/downloader_model.h"
#include "toolkit/text_table.h"
#include "ui/main_frame.h"
#include "utility/base/main_loop.h"

using toolkit::langString;

void CMainFrame::dispatchApps() {
  DownloaderModel& model = DownloaderModel::instance();
  const AppInfo& app = model.getApps().front();
  if (const std::optional<std::wstring> parameters = handOverParameters(app)) {
    model.runPlayer(*parameters);
    utility::MainLoop::quit();
    return;
  }
  selectTab(kApkPage);
  setText(L"apkinstallprogresslabel", langString("progress_downloading_label") + L" " + app.name);
  currentAppName_ = app.name;
  startApkDownload();
}

void CMainFrame::startApkDownload() {
  if (appJob_) return;  // the app step runs once
  DownloaderModel& model = DownloaderModel::instance();
  apkIndex_ = 0;
  appJob_ = std::make_unique<AppInstallJob>(*this);
  appJob_->start(model.getApps(), model.getInstallPath());
}

void CMainFrame::onAppStep(int index) { apkIndex_ = index; }

void CMainFrame::onAppProgress(int64_t received, int64_t total) { showApkProgress(received, total); }

void CMainFrame::onAppFallbackPercent(int percent) { setProgress(L"apkinstallprogressbar", percent); }

void CMainFrame::onAppsInstalling() { showApkInstalling(); }

void CMainFrame::onAppsLaunched() {
  showWindow(false);
  utility::MainLoop::quit();
}
