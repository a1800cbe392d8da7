// One installer download through the model, in a process of its own, for installer_download_bench:
// drive C: on a temporary world folder (HOME and the XDG folders are set there by the caller),
// the deployment pointed at the stand-in services, the model set up as the installer does it
// (log, dispatcher, libcurl, init with its config thread), then, once the remote documents have
// arrived and the process idles with its main loop running, startDownloadPlayer as the download
// button calls it. The figures go to the result file as "key value" lines.
// Usage: installer_download_driver <services port> <world folder> <result file>
#include <curl/curl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "bench/process_stats.h"
#include "deployment/deployment.h"
#include "model/config_imp.h"
#include "model/downloader_model.h"
#include "telemetry/qv_reporter.h"
#include "utility/base/main_loop.h"
#include "utility/base/strings.h"
#include "utility/base/tasks.h"
#include "utility/system/drive_table.h"
#include "utility/system/log.h"
#include "utility/system/ufile.h"

namespace {

using Clock = std::chrono::steady_clock;

// Idle time with the loop running after the remote documents arrived, before the idle figure.
constexpr auto kSettle = std::chrono::milliseconds(500);
constexpr auto kConfigLimit = std::chrono::seconds(60);
constexpr auto kDownloadLimit = std::chrono::minutes(10);

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s <services port> <world folder> <result file>\n", argv[0]);
    return 2;
  }
  const std::string port = argv[1];
  const std::string world = argv[2];
  const std::string resultFile = argv[3];

  utility::setDriveTableForTesting({utility::Drive{L'C', world, "ext4", ""}});
  deployment::Values values =
      deployment::withServicesAuthority(deployment::compiledValues(), utility::utf8ToWide("127.0.0.1:" + port));
  deployment::setValuesForTesting(&values);

  // As the installer's entry point and application object do it.
  const std::wstring logFolder = utility::ufile::appDataDir() + L"\\downloader\\";
  if (!utility::ufile::exists(logFolder)) utility::ufile::makeDir(logFolder);
  common::setLogHook(common::log);
  utility::TaskDispatcher::create();
  common::initLog(logFolder + L"downloader.log");
  curl_global_init(CURL_GLOBAL_ALL);
  DownloaderModel& model = DownloaderModel::instance();
  model.init(L"");

  enum class Stage { waitingForConfig, settling, downloading, done } stage = Stage::waitingForConfig;
  bool ok = false;
  int progressPosts = 0;
  benchsupport::Memory idle;
  benchsupport::CpuTimes cpuBefore, cpuAfter;
  bool peakReset = false;
  Clock::time_point stageStart = Clock::now();
  Clock::time_point downloadStart, downloadEnd;
  model.onDownloadProgress = [&](int, int, int) { ++progressPosts; };
  const auto finish = [&](bool success) {
    downloadEnd = Clock::now();
    cpuAfter = benchsupport::ownCpuTimes();
    ok = success;
    stage = Stage::done;
    utility::MainLoop::quit();
  };
  model.onDownloadSuccess = [&] { finish(true); };
  model.onDownloadFail = [&](net::DownloadFailure) { finish(false); };

  utility::TaskTimer poll;
  poll.start(10, makeRunable([&] {
    const auto now = Clock::now();
    switch (stage) {
      case Stage::waitingForConfig:
        if (model.remoteConfigArrived()) {
          stage = Stage::settling;
          stageStart = now;
        } else if (now - stageStart > kConfigLimit) {
          std::fprintf(stderr, "the remote documents did not arrive\n");
          utility::MainLoop::quit();
        }
        break;
      case Stage::settling:
        if (now - stageStart < kSettle) break;
        idle = benchsupport::ownMemory();
        peakReset = benchsupport::resetPeakMemory();
        stage = Stage::downloading;
        cpuBefore = benchsupport::ownCpuTimes();
        downloadStart = Clock::now();
        model.startDownloadPlayer();
        break;
      case Stage::downloading:
        if (now - downloadStart > kDownloadLimit) {
          std::fprintf(stderr, "the download did not end within its limit\n");
          utility::MainLoop::quit();
        }
        break;
      case Stage::done: break;
    }
  }));
  utility::MainLoop::run();
  poll.stop();
  const benchsupport::Memory after = benchsupport::ownMemory();

  const std::wstring installer = ConfigImp::instance().installerPath(model.getInstallPath());
  uint64_t size = 0;
  utility::ufile::fileSize(installer, size);
  {
    std::ofstream out(resultFile);
    out << "ok " << (ok ? 1 : 0) << "\n"
        << "seconds " << std::chrono::duration<double>(downloadEnd - downloadStart).count() << "\n"
        << "bytes " << size << "\n"
        << "cpu_user " << cpuAfter.user - cpuBefore.user << "\n"
        << "cpu_system " << cpuAfter.system - cpuBefore.system << "\n"
        << "idle_rss " << idle.residentBytes << "\n"
        << "peak_rss " << (peakReset ? after.peakBytes : 0) << "\n"
        << "progress_posts " << progressPosts << "\n"
        << "url " << utility::wideToUtf8(model.getPlayerUrl()) << "\n"
        << "file " << utility::toHostPath(installer).string() << "\n";
  }

  const bool reporterEnded = QvReporter::instance().stop();
  const bool modelEnded = model.shutdown();
  DownloaderModel::destroy();
  if (reporterEnded && modelEnded) curl_global_cleanup();
  common::flushLog(2000);
  return ok ? 0 : 1;
}
