#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/net/net_test_support.h"
#include "tests/net/nginx_server.h"
#include "tests/net/raw_server.h"

extern char** environ;

namespace nettest {

NginxServer::NginxServer(const std::string& folder) : folder_(folder) {
  if (::access(kProgram, X_OK) != 0) return;
  std::filesystem::create_directories(folder_ + "/www");
  // Another process may take a free port between the look and nginx's bind: a few tries.
  for (int attempt = 0; attempt < 3 && pid_ <= 0; ++attempt) {
    port_ = closedPort();
    const std::string config = folder_ + "/nginx.conf";
    {
      std::ofstream out(config, std::ios::trunc);
      out << "daemon off;\nmaster_process off;\nworker_processes 1;\npid " << folder_ << "/nginx.pid;\n"
          << "error_log " << folder_ << "/error.log warn;\nevents { worker_connections 64; }\nhttp {\n"
          << "  access_log off;\n  client_body_temp_path " << folder_ << "/body;\n  proxy_temp_path " << folder_
          << "/proxy;\n  fastcgi_temp_path " << folder_ << "/fastcgi;\n  uwsgi_temp_path " << folder_
          << "/uwsgi;\n  scgi_temp_path " << folder_ << "/scgi;\n  default_type application/octet-stream;\n"
          << "  server {\n    listen 127.0.0.1:" << port_ << " ssl;\n    ssl_certificate "
          << certFile("server.pem") << ";\n    ssl_certificate_key " << certFile("server.key")
          << ";\n    root " << folder_ << "/www;\n  }\n}\n";
    }
    std::string program = kProgram;
    std::string prefixFlag = "-p";
    std::string configFlag = "-c";
    char* argv[] = {program.data(), prefixFlag.data(), folder_.data(), configFlag.data(),
                    const_cast<char*>(config.c_str()), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0) return;
    pid_ = pid;
    if (!waitForPort(port_, 10000)) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }
}

NginxServer::~NginxServer() {
  if (pid_ <= 0) return;
  kill(pid_, SIGQUIT);
  waitpid(pid_, nullptr, 0);
}

std::string NginxServer::url(const std::string& path) const {
  return "https://127.0.0.1:" + std::to_string(port_) + path;
}

std::string NginxServer::fileFor(const std::string& path) const { return folder_ + "/www" + path; }

std::string NginxServer::errorLog() const {
  std::ifstream in(folder_ + "/error.log");
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace nettest
