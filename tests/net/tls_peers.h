// TLS peers the stand-in services cannot play: a server that answers every request with a
// redirect to a given address, and a client that sends a request target byte for byte (no
// normalising of "../" as HTTP clients do).
#pragma once

#include <memory>
#include <string>

namespace nettest {

class RedirectServer {
 public:
  // Answers every GET and POST on https://127.0.0.1:<port> with "302 Found" to |location|.
  explicit RedirectServer(std::string location);
  ~RedirectServer();
  RedirectServer(const RedirectServer&) = delete;
  RedirectServer& operator=(const RedirectServer&) = delete;

  int port() const { return port_; }
  std::string url(const std::string& path) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  int port_ = -1;
};

// Sends "GET <target> HTTP/1.1" over TLS to 127.0.0.1:|port| exactly as given, trusting the
// test CA, and returns the reply's status code (-1 when no reply came).
int rawTlsGetStatus(int port, const std::string& target);

}  // namespace nettest
