// tarnwick_services: the stand-in for the maker's servers as a program.
//   tarnwick_services [--host 127.0.0.1] [--port 47443] [--fixtures DIR] [--cert FILE --key FILE]
//                     [--record FILE] [--installer-file FILE] [--installer-size BYTES]
//                     [--faults FILE]
// Every full installer is the stand-in emulator program built beside this one, padded to 32 MiB
// (--installer-file and --installer-size choose another file or size; a large one for a
// benchmark). Runs until interrupted. Faults can also be posted as JSON to /__standin/faults; the recorded
// posts are served as JSON lines at /__standin/posts.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

#include "standin/services/services.h"

namespace {

std::atomic<bool> gStop{false};

void onSignal(int) { gStop.store(true); }

int usage() {
  std::cerr << "usage: tarnwick_services [--host H] [--port P] [--fixtures DIR] [--cert F --key F]\n"
               "                         [--record FILE] [--installer-file F] [--installer-size N]\n"
               "                         [--faults FILE]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  standin::Options options;
  options.installerFile = TARNWICK_STANDIN_EMULATOR_FILE;
  options.installerSize = 32u << 20;
  std::string host = "127.0.0.1";
  int port = 47443;
  std::string faultsFile;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return usage();
    const std::string value = argv[++i];
    if (arg == "--host") host = value;
    else if (arg == "--port") port = std::atoi(value.c_str());
    else if (arg == "--fixtures") options.fixturesDir = value;
    else if (arg == "--cert") options.certFile = value;
    else if (arg == "--key") options.keyFile = value;
    else if (arg == "--record") options.recordFile = value;
    else if (arg == "--installer-file") options.installerFile = value;
    else if (arg == "--installer-size") options.installerSize = std::strtoull(value.c_str(), nullptr, 10);
    else if (arg == "--faults") faultsFile = value;
    else return usage();
  }

  standin::Services services(options);
  if (!faultsFile.empty()) {
    std::ifstream in(faultsFile);
    std::stringstream text;
    text << in.rdbuf();
    if (!in || !services.setFaultsFromJson(text.str())) {
      std::cerr << "tarnwick_services: cannot read the faults in " << faultsFile << "\n";
      return 1;
    }
  }
  const int bound = services.start(host, port);
  if (bound < 0) {
    std::cerr << "tarnwick_services: cannot listen on " << host << ":" << port << "\n";
    return 1;
  }
  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);
  std::cout << "listening on https://" << host << ":" << bound << std::endl;
  while (!gStop.load()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  services.stop();
  return 0;
}
