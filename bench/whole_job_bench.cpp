// The whole job as a user gives it, click to emulator started, against the download alone by
// the curl program, in the same run on the same file from the same server. The stand-in services
// (in this process) serve the stand-in emulator padded to the given size as every full
// installer; each round runs the real installer in a fresh temporary world with its window on the
// display of the run (xvfb-run -a) and the development automation pressing its buttons, and reads
// the phases off its log: click to the download's start, the download, the installation (the
// stand-in installer copies itself three times), the personalisation and the emulator's start.
// Reported: medians of the whole job and of each phase, the installer's peak resident set, curl's
// time and peak, and the ratio of the job to curl's download.
// Usage: xvfb-run -a whole_job_bench [size in MiB, default 256] [rounds, default 3]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "bench/process_stats.h"
#include "deployment/deployment.h"
#include "standin/services/services.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
constexpr double kMiB = 1024.0 * 1024.0;

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Seconds of the day of the first log record that contains |text| ("MM-DD\thh:mm:ss.mmm\t..."); -1
// when there is none.
double timeOf(const std::string& log, const std::string& text) {
  const size_t at = log.find(text);
  if (at == std::string::npos) return -1;
  const size_t lineStart = log.rfind('\n', at) == std::string::npos ? 0 : log.rfind('\n', at) + 1;
  int h = 0, m = 0, s = 0, ms = 0;
  if (std::sscanf(log.c_str() + lineStart, "%*5s %d:%d:%d.%d", &h, &m, &s, &ms) != 4) return -1;
  return h * 3600.0 + m * 60.0 + s + ms / 1000.0;
}

std::string readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

struct Phases {
  bool ok = false;
  double job = 0;       // click to emulator started
  double toStart = 0;   // click to the download's first request
  double download = 0;
  double install = 0;   // download finished to the finish page's start of the emulator
  double peakMiB = 0;   // the installer process's peak resident set
};

}  // namespace

int main(int argc, char** argv) {
  const uint64_t size = (argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 256) << 20;
  const int rounds = std::max(1, argc > 2 ? std::atoi(argv[2]) : 3);
  if (std::getenv("DISPLAY") == nullptr) {
    std::fprintf(stderr, "no display: run under xvfb-run -a\n");
    return 1;
  }
  const fs::path folder = fs::temp_directory_path() / ("tarnwick-job-bench-" + std::to_string(std::random_device{}()));
  fs::create_directories(folder);
  standin::Services services(standin::Options{.installerFile = TARNWICK_STANDIN_EMULATOR_FILE, .installerSize = size});
  const int port = services.start();
  if (port <= 0) {
    std::fprintf(stderr, "cannot start the stand-in services\n");
    return 1;
  }
  const std::string caFile = deployment::compiledValues().caBundleFile;
  const std::string loadBefore = benchsupport::loadAverage();
  std::vector<Phases> jobs;
  std::vector<double> curlSeconds, curlPeak;

  auto runJob = [&](int round) {
    benchsupport::flushFileData();
    const fs::path world = folder / ("world-" + std::to_string(round));
    for (const char* sub : {"home/Desktop", "home/Downloads", "run"}) fs::create_directories(world / sub);
    fs::permissions(world / "run", fs::perms::owner_all);
    const fs::path exe = world / "home/Downloads/Tarnwick9_en_35036_x.exe";
    fs::copy_file(TARNWICK_INSTALLER_BINARY, exe);
    const auto child = benchsupport::runChild(
        {exe.string()},
        {"HOME=" + (world / "home").string(), "XDG_DATA_HOME=" + (world / "home/.local/share").string(),
         "XDG_CONFIG_HOME=" + (world / "home/.config").string(), "XDG_RUNTIME_DIR=" + (world / "run").string(),
         "TARNWICK_DRIVES=C=" + (world / "home").string(), "TARNWICK_SERVICES=127.0.0.1:" + std::to_string(port),
         "TARNWICK_AUTOMATION=install", "TARNWICK_STANDIN_RECORD=" + (world / "record.jsonl").string(),
         "NO_AT_BRIDGE=1"});
    const std::string log = readAll(world / "home/.local/share/downloader/downloader.log");
    const double click = timeOf(log, "development automation: click installnowbtn");
    const double start = timeOf(log, "start download player playerurl is");
    const double downloaded = timeOf(log, "download finished, success = 1");
    const double started = timeOf(log, "development automation: click tastenowbtn");
    Phases run;
    run.ok = child.ok && click >= 0 && start >= 0 && downloaded >= 0 && started >= 0;
    run.job = started - click;
    run.toStart = start - click;
    run.download = downloaded - start;
    run.install = started - downloaded;
    run.peakMiB = static_cast<double>(child.maxRssBytes) / kMiB;
    std::printf("  round %d job:  %s %6.2f s (download %5.2f s, installation %5.2f s), peak %5.1f MiB\n", round,
                run.ok ? "ok  " : "FAIL", run.job, run.download, run.install, run.peakMiB);
    std::fflush(stdout);
    jobs.push_back(run);
    fs::remove_all(world);
  };
  auto runCurl = [&](int round) {
    benchsupport::flushFileData();
    const fs::path target = folder / "curl-installer.exe";
    const std::string url = "https://127.0.0.1:" + std::to_string(port) + standin::installerPaths().front();
    const auto begin = Clock::now();
    const auto child = benchsupport::runChild(
        {"/usr/bin/curl", "--silent", "--show-error", "--fail", "--cacert", caFile, "--output", target.string(), url});
    const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    std::error_code error;
    const bool ok = child.ok && fs::file_size(target, error) == size;
    std::printf("  round %d curl: %s %6.2f s, peak %5.1f MiB\n", round, ok ? "ok  " : "FAIL", seconds,
                static_cast<double>(child.maxRssBytes) / kMiB);
    std::fflush(stdout);
    if (ok) {
      curlSeconds.push_back(seconds);
      curlPeak.push_back(static_cast<double>(child.maxRssBytes) / kMiB);
    }
    fs::remove(target, error);
  };

  std::printf("whole job with a %.0f MiB installer, %d rounds (load before: %s)\n", static_cast<double>(size) / kMiB,
              rounds, loadBefore.c_str());
  for (int round = 0; round < rounds; ++round) {
    // Alternate which goes first: neither always meets a warm or a cold page cache.
    if (round % 2 == 0) {
      runJob(round);
      runCurl(round);
    } else {
      runCurl(round);
      runJob(round);
    }
  }
  fs::remove_all(folder);
  services.stop();

  std::vector<Phases> good;
  std::copy_if(jobs.begin(), jobs.end(), std::back_inserter(good), [](const Phases& p) { return p.ok; });
  auto collect = [&](double Phases::*field) {
    std::vector<double> values;
    for (const Phases& p : good) values.push_back(p.*field);
    return values;
  };
  const double job = median(collect(&Phases::job));
  const double curl = median(curlSeconds);
  std::printf("\ninstaller, click to emulator started   median %6.2f s  (click to download %.2f s, download %.2f s, "
              "installation and start %.2f s)  peak RSS %.1f MiB\n",
              job, median(collect(&Phases::toStart)), median(collect(&Phases::download)),
              median(collect(&Phases::install)), median(collect(&Phases::peakMiB)));
  std::printf("curl program, the download alone        median %6.2f s  peak RSS %.1f MiB\n", curl, median(curlPeak));
  std::printf("job / curl download: %.2fx time; the installer's download / curl: %.2fx\n", curl > 0 ? job / curl : 0,
              curl > 0 ? median(collect(&Phases::download)) / curl : 0);
  std::printf("load after: %s\n", benchsupport::loadAverage().c_str());
  return good.size() == jobs.size() && curlSeconds.size() == static_cast<size_t>(rounds) ? 0 : 1;
}
