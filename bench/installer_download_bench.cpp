// The installer download through the whole model path against the curl program, in the same
// run, on the same file from the same server: the stand-in services (TLS on loopback, in this
// process) serve the stand-in emulator padded to the given size as every full installer;
// installer_download_driver, a process of its own per round, sets up the model in a fresh
// temporary world, lets its config thread fetch the remote address and calls
// startDownloadPlayer with its main loop running (platform stack). Rounds alternate which of
// the two goes first; no run meets the writeback of another (files go at once, sync before each).
// Reported: median throughput of each and their ratio, CPU seconds per GiB (ours: the whole
// process during the download; curl: its whole run), the driver's resident set when idle and
// its peak during the download.
// Usage: installer_download_bench [size in MiB, default 1024] [rounds, default 5]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench/process_stats.h"
#include "deployment/deployment.h"
#include "standin/services/services.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kMiB = 1024.0 * 1024.0;

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::map<std::string, std::string> readResult(const std::string& file) {
  std::map<std::string, std::string> result;
  std::ifstream in(file);
  std::string key, value;
  while (in >> key && std::getline(in >> std::ws, value)) result[key] = value;
  return result;
}

uint64_t sizeOf(const std::filesystem::path& file) {
  std::error_code error;
  const auto size = std::filesystem::file_size(file, error);
  return error ? 0 : size;
}

bool sameBytes(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
  std::vector<char> p(1 << 20), q(1 << 20);
  while (x && y) {
    x.read(p.data(), static_cast<std::streamsize>(p.size()));
    y.read(q.data(), static_cast<std::streamsize>(q.size()));
    if (x.gcount() != y.gcount() || !std::equal(p.begin(), p.begin() + x.gcount(), q.begin())) return false;
  }
  return !x && !y;
}

struct Run {
  bool ok = false;
  double seconds = 0;
  double cpuSeconds = 0;
  double systemSeconds = 0;
  double idleMiB = 0;
  double peakMiB = 0;
  double maxRssMiB = 0;
};

}  // namespace

int main(int argc, char** argv) {
  const uint64_t size = (argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024) << 20;
  const int rounds = std::max(1, argc > 2 ? std::atoi(argv[2]) : 5);

  namespace fs = std::filesystem;
  const fs::path folder = fs::temp_directory_path() / ("tarnwick-installer-bench-" + std::to_string(std::random_device{}()));
  fs::create_directories(folder);

  standin::Services services(standin::Options{.installerFile = TARNWICK_STANDIN_EMULATOR_FILE, .installerSize = size});
  const int port = services.start();
  if (port <= 0) {
    std::fprintf(stderr, "cannot start the stand-in services\n");
    return 1;
  }
  const std::string caFile = deployment::compiledValues().caBundleFile;
  const std::string loadBefore = benchsupport::loadAverage();

  std::string url;  // the installer address the model took from the remote documents
  std::vector<Run> ours, curl;
  bool compared = false, same = false;
  fs::path keptInstaller;
  const fs::path curlTarget = folder / "curl-installer.exe";

  auto runOurs = [&](int round) {
    benchsupport::flushFileData();
    const fs::path world = folder / ("world-" + std::to_string(round));
    for (const char* sub : {".config", ".local/share", ".cache", "run"}) fs::create_directories(world / sub);
    fs::permissions(world / "run", fs::perms::owner_all);
    const std::string resultFile = (folder / ("result-" + std::to_string(round))).string();
    const auto child = benchsupport::runChild(
        {INSTALLER_DOWNLOAD_DRIVER, std::to_string(port), world.string(), resultFile},
        {"HOME=" + world.string(), "XDG_CONFIG_HOME=" + (world / ".config").string(),
         "XDG_DATA_HOME=" + (world / ".local/share").string(), "XDG_CACHE_HOME=" + (world / ".cache").string(),
         "XDG_RUNTIME_DIR=" + (world / "run").string()});
    auto result = readResult(resultFile);
    Run run;
    run.ok = child.ok && result["ok"] == "1" && std::strtoull(result["bytes"].c_str(), nullptr, 10) == size;
    run.seconds = std::atof(result["seconds"].c_str());
    // The download alone: from startDownloadPlayer to onDownloadSuccess.
    run.systemSeconds = std::atof(result["cpu_system"].c_str());
    run.cpuSeconds = std::atof(result["cpu_user"].c_str()) + run.systemSeconds;
    run.idleMiB = static_cast<double>(std::strtoull(result["idle_rss"].c_str(), nullptr, 10)) / kMiB;
    run.peakMiB = static_cast<double>(std::strtoull(result["peak_rss"].c_str(), nullptr, 10)) / kMiB;
    run.maxRssMiB = static_cast<double>(child.maxRssBytes) / kMiB;
    if (url.empty()) url = result["url"];
    std::printf("  round %d ours: %s %7.1f MiB/s, idle %.1f MiB, peak %.1f MiB, %s progress posts\n", round,
                run.ok ? "ok  " : "FAIL", static_cast<double>(size) / kMiB / run.seconds, run.idleMiB, run.peakMiB,
                result["progress_posts"].c_str());
    // The first installer is kept for the comparison with curl's file; every other file goes at
    // once, so that no run meets the writeback of the one before (deleted pages are never written).
    if (run.ok && keptInstaller.empty()) {
      keptInstaller = folder / "model-installer.exe";
      fs::rename(result["file"], keptInstaller);
    }
    ours.push_back(run);
    fs::remove_all(world);
  };
  auto runCurl = [&](int round) {
    benchsupport::flushFileData();
    const auto start = Clock::now();
    const auto child = benchsupport::runChild(
        {"curl", "--silent", "--show-error", "--fail", "--cacert", caFile, "--output", curlTarget.string(), url});
    Run run;
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.ok = child.ok && sizeOf(curlTarget) == size;
    run.cpuSeconds = child.cpuSeconds;
    run.systemSeconds = child.systemSeconds;
    run.maxRssMiB = static_cast<double>(child.maxRssBytes) / kMiB;
    std::printf("  round %d curl: %s %7.1f MiB/s\n", round, run.ok ? "ok  " : "FAIL",
                static_cast<double>(size) / kMiB / run.seconds);
    if (run.ok && !compared && !keptInstaller.empty()) {
      compared = true;
      same = sameBytes(keptInstaller, curlTarget);
      fs::remove(keptInstaller);
    }
    fs::remove(curlTarget);
    curl.push_back(run);
  };

  std::printf("installer of %.0f MiB over TLS on loopback, %d rounds, load average before: %s\n",
              static_cast<double>(size) / kMiB, rounds, loadBefore.c_str());
  // The model goes first in the first round: it finds the address the curl program is given.
  for (int round = 0; round < rounds; ++round) {
    if (round % 2 == 0) {
      runOurs(round);
      if (url.empty()) break;
      runCurl(round);
    } else {
      runCurl(round);
      runOurs(round);
    }
  }
  const std::string loadAfter = benchsupport::loadAverage();
  services.stop();

  auto collect = [](const std::vector<Run>& runs, double Run::*field) {
    std::vector<double> values;
    for (const Run& r : runs) values.push_back(r.*field);
    return values;
  };
  const bool allOk = !ours.empty() && !curl.empty() &&
                     std::all_of(ours.begin(), ours.end(), [](const Run& r) { return r.ok; }) &&
                     std::all_of(curl.begin(), curl.end(), [](const Run& r) { return r.ok; });
  const double mib = static_cast<double>(size) / kMiB;
  const double gib = mib / 1024.0;
  const double oursSeconds = median(collect(ours, &Run::seconds));
  const double curlSeconds = median(collect(curl, &Run::seconds));
  std::vector<double> ratios, aboveIdle;
  for (size_t i = 0; i < std::min(ours.size(), curl.size()); ++i) ratios.push_back(curl[i].seconds / ours[i].seconds);
  for (const Run& r : ours) aboveIdle.push_back(r.peakMiB - r.idleMiB);

  std::printf("load average after: %s\n", loadAfter.c_str());
  std::printf("same bytes as curl's file: %s\n", compared ? (same ? "yes" : "NO") : "not compared");
  std::printf("startDownloadPlayer (platform stack) %s  median %7.1f MiB/s  CPU %5.2f s/GiB (%.2f in the kernel)\n",
              allOk ? "ok  " : "FAIL", mib / oursSeconds, median(collect(ours, &Run::cpuSeconds)) / gib,
              median(collect(ours, &Run::systemSeconds)) / gib);
  std::printf("curl (program)                       %s  median %7.1f MiB/s  CPU %5.2f s/GiB (%.2f in the kernel), "
              "peak RSS %.1f MiB\n",
              allOk ? "ok  " : "FAIL", mib / curlSeconds, median(collect(curl, &Run::cpuSeconds)) / gib,
              median(collect(curl, &Run::systemSeconds)) / gib, median(collect(curl, &Run::maxRssMiB)));
  std::printf("throughput ratio ours/curl: %.3f of the medians, %.3f median of the rounds (aim >= 1.0)\n",
              curlSeconds / oursSeconds, median(ratios));
  std::printf("installer process RSS: idle %.1f MiB, peak during the download %.1f MiB, above idle %.1f MiB median, "
              "%.1f MiB max (aim < 40 MiB)\n",
              median(collect(ours, &Run::idleMiB)), median(collect(ours, &Run::peakMiB)), median(aboveIdle),
              aboveIdle.empty() ? 0.0 : *std::max_element(aboveIdle.begin(), aboveIdle.end()));

  fs::remove_all(folder);
  return allOk && same ? 0 : 1;
}
