#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/net/raw_server.h"

extern char** environ;

namespace nettest {

TinyProxy::TinyProxy(const std::string& folder) : logFile_(folder + "/tinyproxy.log") {
  port_ = closedPort();
  const std::string config = folder + "/tinyproxy.conf";
  {
    std::ofstream out(config);
    out << "Port " << port_ << "\nListen 127.0.0.1\nTimeout 30\nMaxClients 20\nLogLevel Connect\n"
        << "LogFile \"" << logFile_ << "\"\n";
  }
  std::string program = "/usr/bin/tinyproxy";
  std::string foreground = "-d";
  std::string configFlag = "-c";
  char* argv[] = {program.data(), foreground.data(), configFlag.data(), const_cast<char*>(config.c_str()), nullptr};
  pid_t pid = -1;
  if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0) return;
  pid_ = pid;
  if (!waitForPort(port_, 5000)) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
}

TinyProxy::~TinyProxy() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
}

std::string TinyProxy::log() const {
  std::ifstream in(logFile_);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace nettest
