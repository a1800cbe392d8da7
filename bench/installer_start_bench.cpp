// Start of the installer to its first painted main window, and its resident memory at that
// moment, against a bare GTK 3 window program that paints one frame, measured in the same run,
// the two programs taking turns. The installer runs as a user starts it: copied under a campaign
// file name into the download folder of a private world (home, XDG folders, runtime folder, drive
// table) made afresh for each run and removed after it, with the stand-in services (in this
// process) serving the documents it fetches at start. Each run ends with SIGTERM.
// Run under Xvfb: xvfb-run -a build/bench/installer_start_bench [runs, default 15]
// Prints the medians, the ratios and the aims (time at most 1.5x, memory at most 1.2x).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench/process_stats.h"
#include "standin/services/services.h"

namespace {

namespace fs = std::filesystem;

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// A private world for one installer run; removed with everything in it when it goes.
class World {
 public:
  World(const fs::path& parent, int run) : root_(parent / std::to_string(run)) {
    for (const char* sub : {"home/Downloads", "home/.config", "home/.local/share", "home/.cache", "run"}) {
      fs::create_directories(root_ / sub);
    }
    fs::permissions(root_ / "run", fs::perms::owner_all, fs::perm_options::replace);
  }
  ~World() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  World(const World&) = delete;
  World& operator=(const World&) = delete;

  std::vector<std::string> environment(int servicesPort) const {
    const std::string home = (root_ / "home").string();
    return {"HOME=" + home,
            "XDG_CONFIG_HOME=" + home + "/.config",
            "XDG_DATA_HOME=" + home + "/.local/share",
            "XDG_CACHE_HOME=" + home + "/.cache",
            "XDG_RUNTIME_DIR=" + (root_ / "run").string(),
            "TARNWICK_DRIVES=C=" + home,
            "TARNWICK_SERVICES=127.0.0.1:" + std::to_string(servicesPort),
            "TARNWICK_FIRST_FRAME=1"};
  }
  // The installer as the user downloaded it; the name carries the campaign.
  fs::path installer() const {
    const fs::path exe = root_ / "home/Downloads/Tarnwick9_en_35036_x";
    fs::copy_file(TARNWICK_INSTALLER_TIMED, exe, fs::copy_options::overwrite_existing);
    return exe;
  }

 private:
  fs::path root_;
};

const char* verdict(double ratio, double aim) { return ratio > 0 && ratio <= aim ? "PASS" : "MISS"; }

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;

  // Both programs without the accessibility bus (Xvfb has none; looking for it costs time).
  setenv("NO_AT_BRIDGE", "1", 1);
  // A short parent folder: the runtime folder inside it must leave room for socket paths.
  const fs::path parent = fs::temp_directory_path() / ("tw-start-" + std::to_string(std::random_device{}() % 100000));
  fs::create_directories(parent);

  standin::Services services;
  const int port = services.start();
  if (port <= 0) {
    std::fprintf(stderr, "cannot start the stand-in services\n");
    return 1;
  }

  const std::vector<std::string> bare = {TARNWICK_BARE_GTK_WINDOW};
  int worlds = 0;
  auto runInstaller = [&] {
    World world(parent, worlds++);
    return benchsupport::runUntilLine({world.installer().string()}, "first-frame", world.environment(port));
  };

  std::vector<double> ourTimes, bareTimes, ourRss, bareRss;
  bool ok = true;
  // One unmeasured start of each first: the files they load come into the page cache.
  ok = runInstaller().ok && benchsupport::runUntilLine(bare, "first-frame").ok;
  for (int i = 0; ok && i < runs; ++i) {
    // Rounds alternate which of the two goes first.
    for (bool ours : {i % 2 == 0, i % 2 != 0}) {
      const benchsupport::FirstLine run = ours ? runInstaller() : benchsupport::runUntilLine(bare, "first-frame");
      if (!run.ok) {
        ok = false;
        break;
      }
      (ours ? ourTimes : bareTimes).push_back(run.wallSeconds * 1000);
      (ours ? ourRss : bareRss).push_back(static_cast<double>(run.residentKiB) / 1024);
    }
  }
  services.stop();
  std::error_code ignored;
  fs::remove_all(parent, ignored);
  if (!ok) {
    std::fprintf(stderr, "a window did not paint (no display? run under xvfb-run -a)\n");
    return 1;
  }

  const double ot = median(ourTimes), bt = median(bareTimes), orss = median(ourRss), brss = median(bareRss);
  std::printf("runs: %d each, taking turns (medians); load average: %s\n", runs, benchsupport::loadAverage().c_str());
  std::printf("start to first painted main window: installer %.1f ms, bare GTK window %.1f ms, ratio %.2f "
              "(aim: at most 1.5) %s\n",
              ot, bt, ot / bt, verdict(ot / bt, 1.5));
  std::printf("resident memory then: installer %.1f MiB, bare GTK window %.1f MiB, ratio %.2f (aim: at most 1.2) %s\n",
              orss, brss, orss / brss, verdict(orss / brss, 1.2));
  return 0;
}
