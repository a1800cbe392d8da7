// A real web server for the download tests: nginx of its own on a free loopback port, with a
// private configuration, the test CA's server certificate and a folder of files it serves
// (strong ETags, Last-Modified, byte ranges and If-Range as such servers do).
#pragma once

#include <string>

namespace nettest {

class NginxServer {
 public:
  // Serves the files of |folder|/www; its configuration, logs and temporary files go in |folder|.
  explicit NginxServer(const std::string& folder);
  ~NginxServer();
  NginxServer(const NginxServer&) = delete;
  NginxServer& operator=(const NginxServer&) = delete;

  // False when nginx is not installed or did not start (the error log says why).
  bool running() const { return pid_ > 0; }
  int port() const { return port_; }
  // "https://127.0.0.1:<port><path>"
  std::string url(const std::string& path) const;
  // Where a file served as |path| is put.
  std::string fileFor(const std::string& path) const;
  std::string errorLog() const;

  static constexpr const char* kProgram = "/usr/sbin/nginx";

 private:
  std::string folder_;
  int pid_ = -1;
  int port_ = 0;
};

}  // namespace nettest
