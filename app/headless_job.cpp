#include "app/headless_job.h"

#include <cstdio>
#include <string>

#include "app/job_summary.h"
#include "model/downloader_model.h"
#include "utility/base/main_loop.h"
#include "utility/base/strings.h"
#include "utility/system/dev_overrides.h"
#include "utility/system/disk.h"
#include "utility/system/log.h"

namespace app {
namespace {

int gExitCode = 1;
// The free space the window's install button asks of the installation folder's drive.
constexpr double kNeededFreeMiB = 1024.0;

void end(int exitCode) {
  gExitCode = exitCode;
  utility::MainLoop::quit();
}

}  // namespace

bool headlessJobRequested() {
  const auto value = utility::devOverride("TARNWICK_AUTOMATION");
  return value && *value == "headless";
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
  model.onDownloadFail = [](net::DownloadFailure) {
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
    printJobSummary(started ? "installed and started" : "the emulator was not installed");
    end(started ? 0 : 1);
  };
  // The install button's checks: without a folder the window would take (no usable drive
  // leaves a relative one) nothing is fetched, and the job ends as the window refuses.
  const std::wstring folder = model.getInstallPath();
  const helper::disk::InstallPathProblem problem = helper::disk::installPathProblem(folder);
  if (problem != helper::disk::InstallPathProblem::none || helper::disk::freeSpaceMiB(folder) < kNeededFreeMiB) {
    const wchar_t* reason = problem != helper::disk::InstallPathProblem::none
                                ? helper::disk::installPathProblemName(problem)
                                : L"less than 1 GiB free";
    common::logPrint("app::startHeadlessJob", __LINE__, L"installation folder refused (%s): %s", reason,
                     folder.c_str());
    std::printf("installer job: the installation folder cannot be used (%s): %s\n", utility::wideToUtf8(reason).c_str(),
                utility::wideToUtf8(folder).c_str());
    std::fflush(stdout);
    end(1);
    return;
  }
  model.startDownloadPlayer();
}

int headlessJobExitCode() { return gExitCode; }

}  // namespace app
