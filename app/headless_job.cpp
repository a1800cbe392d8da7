#include "app/headless_job.h"

#include <cstdio>
#include <string>

#include "model/config_imp.h"
#include "model/downloader_model.h"
#include "utility/base/main_loop.h"
#include "utility/base/strings.h"
#include "utility/system/dev_overrides.h"
#include "utility/system/drive_table.h"
#include "utility/system/log.h"
#include "utility/system/shortcut.h"
#include "utility/system/ufile.h"

namespace app {
namespace {

int gExitCode = 1;

void printPlace(const char* what, const std::wstring& drivePath) {
  std::printf("  %-18s %s\n", what, utility::toHostPath(drivePath).c_str());
}

// Where the job's results are, as host paths, so the user can look at them.
void printSummary(DownloaderModel& model, bool started) {
  const std::wstring folder = model.getInstallPath();
  std::printf("installer job: %s\n", started ? "installed and started" : "the installer did not start");
  printPlace("installed emulator", folder + L"corvide.exe");
  printPlace("data.ini", folder + L"data\\data.ini");
  const std::wstring shortcutName = model.getRemoteSettings().shortcutName;
  const std::string launcher = helper::disk::launcherFileName(shortcutName);
  if (!launcher.empty()) {
    std::printf("  %-18s %s/%s\n", "shortcut", utility::toHostPath(utility::ufile::desktopDir()).c_str(),
                launcher.c_str());
  } else {
    std::printf("  %-18s none (the campaign names no shortcut)\n", "shortcut");
  }
  if (const auto record = utility::devOverride("TARNWICK_STANDIN_RECORD")) {
    std::printf("  %-18s %s\n", "launch record", record->c_str());
  }
  printPlace("log", utility::ufile::appDataDir() + L"\\downloader\\downloader.log");
  std::fflush(stdout);
}

void end(int exitCode) {
  gExitCode = exitCode;
  utility::MainLoop::quit();
}

}  // namespace

bool headlessJobRequested() {
  const auto value = utility::devOverride("TARNWICK_AUTOMATION");
  return value && *value == "install";
}

void startHeadlessJob() {
  DownloaderModel& model = DownloaderModel::instance();
  common::logPrint("app::startHeadlessJob", __LINE__, L"development automation: install without a window");
  model.onDownloadProgress = [](int percent, int received, int total) {
    std::printf("download %3d%% (%d of %d bytes)\n", percent, received, total);
    std::fflush(stdout);
  };
  model.onCurlProgress = [](int percent) {
    std::printf("download (libcurl) %3d%%\n", percent);
    std::fflush(stdout);
  };
  model.onDownloadFail = [] {
    std::printf("installer job: the download failed\n");
    std::fflush(stdout);
    end(1);
  };
  model.onDownloadSuccess = [] {
    std::printf("download finished; installing\n");
    std::fflush(stdout);
    DownloaderModel::instance().startInstallPlayer();
  };
  model.onInstallFinished = [](bool started) {
    DownloaderModel& installed = DownloaderModel::instance();
    if (started) installed.runPlayerWithPackage();
    printSummary(installed, started);
    end(started ? 0 : 1);
  };
  model.startDownloadPlayer();
}

int headlessJobExitCode() { return gExitCode; }

}  // namespace app
