// Download throughput on loopback against the stand-in services (TLS, one generated file):
//   1. the platform client (CHttpDownloader::downloadToFile) against the curl command-line tool,
//      the same file in the same run: throughput ratio and CPU seconds per GiB of each;
//   2. QvCurlDownloader::downloadFile against its 20 MiB/s receive cap.
// Usage: net_download_bench [size in MiB, default 1024] [rounds, default 3] [cap file MiB, default 200]
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "bench/process_stats.h"
#include "deployment/deployment.h"
#include "net/http_downloader.h"
#include "net/qv_curl_downloader.h"
#include "standin/services/services.h"
#include "utility/system/drive_table.h"
#include "utility/base/strings.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Measure {
  bool ok = false;
  double seconds = 0;
  double cpuSeconds = 0;
};

double since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

uint64_t sizeOf(const std::string& file) {
  std::error_code error;
  const auto size = std::filesystem::file_size(file, error);
  return error ? 0 : size;
}

}  // namespace

int main(int argc, char** argv) {
  const uint64_t mib = 1 << 20;
  const uint64_t size = (argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024) * mib;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  const uint64_t capSize = (argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 200) * mib;

  curl_global_init(CURL_GLOBAL_ALL);
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("tarnwick-net-bench-" + std::to_string(std::random_device{}()));
  std::filesystem::create_directories(folder);
  utility::setDriveTableForTesting({utility::Drive{L'C', folder.string(), "ext4", ""}});

  standin::Services services;
  const int port = services.start();
  if (port <= 0) {
    std::fprintf(stderr, "cannot start the stand-in services\n");
    return 1;
  }
  services.addGeneratedFile("/bench/big.bin", size);
  services.addGeneratedFile("/bench/cap.bin", capSize);
  deployment::Values values =
      deployment::withServicesAuthority(deployment::compiledValues(), L"127.0.0.1:" + std::to_wstring(port));
  deployment::setValuesForTesting(&values);
  const std::string url = services.baseUrl() + "/bench/big.bin";
  const std::string target = (folder / "big.bin").string();

  Measure platform{true, 1e30, 0}, cli{true, 1e30, 0};
  auto runPlatform = [&] {
    utility::CHttpDownloader downloader;
    const double cpu = benchsupport::threadCpuSeconds();
    const auto start = Clock::now();
    const bool ok = downloader.downloadToFile(utility::utf8ToWide(url), L"C:\\big.bin", nullptr);
    const double seconds = since(start);
    const double used = benchsupport::threadCpuSeconds() - cpu;
    platform.ok = platform.ok && ok && sizeOf(target) == size;
    if (seconds < platform.seconds) platform = {platform.ok, seconds, used};
    std::filesystem::remove(target);
  };
  auto runCli = [&] {
    const auto start = Clock::now();
    const auto run = benchsupport::runChild(
        {"curl", "--silent", "--show-error", "--cacert", values.caBundleFile, "--output", target, url});
    const double seconds = since(start);
    cli.ok = cli.ok && run.ok && sizeOf(target) == size;
    if (seconds < cli.seconds) cli = {cli.ok, seconds, run.cpuSeconds};
    std::filesystem::remove(target);
  };
  // Alternate which goes first, so that neither always meets the other's leftovers (page cache,
  // writeback, a warm server).
  for (int round = 0; round < rounds; ++round) {
    if (round % 2 == 0) {
      runPlatform();
      runCli();
    } else {
      runCli();
      runPlatform();
    }
  }

  const double gib = static_cast<double>(size) / static_cast<double>(1ull << 30);
  const double mibs = static_cast<double>(size) / static_cast<double>(mib);
  std::printf("file: %.0f MiB over TLS on loopback, best of %d rounds\n", mibs, rounds);
  std::printf("platform client   %s  %8.1f MiB/s  %6.2f CPU s/GiB\n", platform.ok ? "ok  " : "FAIL",
              mibs / platform.seconds, platform.cpuSeconds / gib);
  std::printf("curl (program)    %s  %8.1f MiB/s  %6.2f CPU s/GiB\n", cli.ok ? "ok  " : "FAIL", mibs / cli.seconds,
              cli.cpuSeconds / gib);
  std::printf("throughput ratio platform/curl: %.3f\n", cli.seconds / platform.seconds);

  // The libcurl wrapper's receive cap.
  const auto start = Clock::now();
  const bool capped = QvCurlDownloader::downloadFile(L"C:\\cap.bin", services.baseUrl() + "/bench/cap.bin", nullptr);
  const double seconds = since(start);
  const double rate = static_cast<double>(capSize) / static_cast<double>(mib) / seconds;
  std::printf("QvCurlDownloader::downloadFile %s %.0f MiB: %.2f MiB/s against a cap of 20 MiB/s (%+.1f%%)\n",
              capped && sizeOf((folder / "cap.bin").string()) == capSize ? "ok  " : "FAIL",
              static_cast<double>(capSize) / static_cast<double>(mib), rate, (rate / 20.0 - 1.0) * 100.0);

  services.stop();
  deployment::setValuesForTesting(nullptr);
  std::filesystem::remove_all(folder);
  curl_global_cleanup();
  return platform.ok && cli.ok && capped ? 0 : 1;
}
