// The installer's main window: the layout "mainframe.xml" with its pages in the tab layout
// "maintab". It turns the user's clicks into calls on the installer model and the model's
// results (posted to the main thread) into pages, texts and progress. Main thread only.
//
// One concern per file:
//   main_frame.cpp           set-up, notifications, install click and checks, page sequence,
//                            end of installation, destroy handling
//   main_frame_path.cpp      the installation folder: path rules, notices, folder browser
//   main_frame_progress.cpp  download, installation and app progress displays
//   main_frame_apk.cpp       app packages: dispatch and the app job's progress
//   main_frame_language.cpp  the language switch and the texts of the controls
//   main_frame_flows.cpp     close, download error, finish page and web links
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "model/app_install_job.h"
#include "ui/download_rate_line.h"
#include "toolkit/core/window_impl_base.h"
#include "utility/base/tasks.h"
#include "utility/base/work_thread.h"
#include "utility/system/disk.h"

class CMainFrame : public toolkit::WindowImplBase, public AppInstallJob::Observer {
 public:
  // The pages of "maintab".
  enum Page : int { kChoosePage = 0, kLicencePage = 1, kProgressPage = 2, kApkPage = 3, kFinishPage = 4 };
  // The app-installation animation's system timer.
  static constexpr uint32_t kApkInstallTimerId = 800;
  static constexpr uint32_t kInstallTickMs = 1500;
  static constexpr uint32_t kApkInstallTickMs = 500;

  CMainFrame();
  ~CMainFrame() override;

  // ---- WindowImplBase ----
  std::wstring windowClassName() const override { return L"cmainframe"; }
  std::wstring skinFolder() const override { return {}; }
  std::wstring skinFile() const override { return L"mainframe.xml"; }
  void initWindow() override;
  void notify(std::wstring_view type, toolkit::Control& sender) override;
  bool handleMessage(const toolkit::WindowMessage& message) override;
  // Deletes the object and posts the quit message.
  void onFinalMessage() override;

  // ---- Pages (main_frame.cpp) ----
  void selectTab(int index);
  // Gives the focus to the shown page's primary button (Enter presses it).
  void focusPagePrimary();
  void showCustomPath(bool custom);
  void onInstallClick();
  bool checkBeforeInstall();
  void onInstallFinished(bool ok);

  // ---- Installation folder (main_frame_path.cpp) ----
  void refreshInstallPage();
  // The error row's text for the stored folder's problem, in the current language (none: left);
  // answers the problem.
  helper::disk::InstallPathProblem retextPathError();
  // "browsebtn": asks first when a folder is already chosen, then the folder browser.
  void onBrowseClick();
  void changePathClac(bool checkSsd, const std::wstring& newPath);
  void setInstallPath(const std::wstring& path);
  // A chosen folder completed into an installation path as the window stores it (the product's
  // folder added where the folder is not already one of its own).
  static std::wstring completeInstallPath(const std::wstring& path);
  void openFolderDialog();
  static void tidyPath(std::wstring& path);
  static std::wstring slashToBackslash(const std::wstring& path);

  // ---- Progress (main_frame_progress.cpp) ----
  void onDownloadProgress(int percent, int64_t received, int64_t total);
  void onCurlProgress(int percent);
  // The libcurl fallback's byte counts: they feed the rate line.
  void onCurlTransfer(int64_t received, int64_t total);
  void onDownloadSuccess();
  void onInstallTick();
  void showApkProgress(int64_t received, int64_t total);
  void showApkInstalling();
  void onApkInstallTick();

  // ---- App packages (main_frame_apk.cpp) ----
  void dispatchApps();
  void startApkDownload();

  // ---- Language (main_frame_language.cpp) ----
  void onLanguageComSelected(toolkit::Control& sender);
  void retextControls();
  static std::wstring loadLicenseText();

  // ---- Close, errors, finish page, links (main_frame_flows.cpp) ----
  void onCloseClick();
  // The download error box; "No" (or its close) returns to the install button for a retry.
  void onDownloadFail(net::DownloadFailure cause = net::DownloadFailure::kUnknown);
  // Back to the choose page after a failed download: the texts and progress as before the click.
  void resetAfterFailedDownload();
  // The installer outlived its time limit: the user is told it finishes on its own.
  void onInstallerStillRunning();
  void setFinishButtonMode(bool failed);
  void onFinishButtonClick();
  void openLicencePage();
  void openCommunityPage();
  void openHomePage();

  // ---- Facts the tests read ----
  int progressPercent() const { return progressPercent_; }
  uint32_t downloadStartTick() const { return downloadStartTick_; }
  bool quitOnClose() const { return quitOnClose_; }
  bool startMode() const { return startMode_; }
  int installTick() const { return installTick_; }
  int apkIndex() const { return apkIndex_; }
  uint32_t apkTimerId() const { return apkTimerId_; }
  const std::wstring& currentAppName() const { return currentAppName_; }
  // The app-installation animation's step: process-wide, 0 at start, never reset.
  static int apkInstallStep();

  // ---- The one main window ----
  // The main window while its object lives; null before it is made and once it deleted itself.
  static CMainFrame* current();

  // ---- Close flow: the phase facts, set directly by tests ----
  void setPhaseForTesting(uint32_t downloadStartTick, int progressPercent, bool quitOnClose) {
    downloadStartTick_ = downloadStartTick;
    progressPercent_ = progressPercent;
    quitOnClose_ = quitOnClose;
  }

 private:
  void onDestroy();
  // Text, visibility and enabled state of a named control (no effect when the layout lacks it),
  // each repainting what changed.
  void setText(std::wstring_view name, const std::wstring& text);
  void setVisible(std::wstring_view name, bool visible);
  void setEnabled(std::wstring_view name, bool enabled);
  void setProgress(std::wstring_view name, int value);
  bool isVisible(std::wstring_view name) const;
  void repaint();

  utility::TaskTimer installTimer_;
  int installTick_ = 0;
  // The installer download's rate and time left under the bar.
  ui::DownloadRateLine rateLine_{[this](const std::wstring& text) { setText(L"downloadRateLabel", text); }};
  bool quitOnClose_ = false;
  bool startMode_ = true;
  bool installerStillRunning_ = false;
  int progressPercent_ = 0;
  utility::TaskPoster taskPoster_;
  int apkIndex_ = 0;
  uint32_t apkTimerId_ = 0;
  std::wstring currentAppName_;
  uint32_t downloadStartTick_ = 0;

  // ---- App packages: the job's progress (AppInstallJob::Observer, main thread) ----
  void onAppStep(int index) override;
  void onAppProgress(int64_t received, int64_t total) override;
  void onAppFallbackPercent(int percent) override;
  void onAppsInstalling() override;
  void onAppsLaunched() override;
  // The campaign apps' own installation, once started; detached when the window goes.
  std::unique_ptr<AppInstallJob> appJob_;
};
