// The faults a server, or the path to it, can show the download of the full installer: one
// table, run by the model's download tests and again through the main window.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "standin/services/services.h"
#include "tests/net/net_test_support.h"

namespace downloadfaults {

// Who answers the installer's address.
enum class Server {
  kTest,       // the test's own services, with the case's fault on the installer's path
  kWrongHost,  // a server whose certificate names another host
  kUntrusted,  // a server whose certificate no trusted root signed
};

struct Case {
  const char* label;
  standin::Fault fault;  // for Server::kTest
  Server server;
  bool installer;  // the whole installer is what the fault still delivers (to libcurl, or by a range)
};

// Every case, for an installer of |installerSize| bytes.
inline std::vector<Case> cases(uint64_t installerSize) {
  const std::string errorPage =
      "<html><head><title>Service unavailable</title></head><body><h1>Please try again later</h1></body></html>";
  using S = Server;
  return {
      {"stalled body", {.stallAfterBytes = 65536}, S::kTest, false},
      {"headers never come", {.delayMs = 600000}, S::kTest, false},
      {"drop after 100 KiB", {.dropAfterBytes = 102400}, S::kTest, false},
      {"404", {.status = 404}, S::kTest, false},
      {"404 with a 2 MiB page", {.status = 404, .replaceBody = true, .body = std::string(2u << 20, 'x')}, S::kTest, false},
      {"500", {.status = 500}, S::kTest, false},
      {"429 rate-limited", {.status = 429}, S::kTest, false},
      {"redirect cycle", {.redirects = 1000}, S::kTest, false},
      // Without a validator nothing is continued: every attempt ends one byte short.
      {"truncated one byte short, no validator",
       {.dropAfterBytes = static_cast<int64_t>(installerSize) - 1, .noValidator = true}, S::kTest, false},
      // With one, the platform stack's second attempt asks for the missing byte only.
      {"truncated one byte short, rest by range", {.dropAfterBytes = static_cast<int64_t>(installerSize) - 1},
       S::kTest, true},
      {"wrong-host certificate", {}, S::kWrongHost, false},
      {"untrusted certificate", {}, S::kUntrusted, false},
      {"trickle below 1 KiB/s", {.bytesPerSecond = 300}, S::kTest, false},
      // Without a length or chunks, the end of the connection ends the body: a cut would look the
      // same, so neither stack takes such a reply for the installer.
      {"no length", {.omitLength = true}, S::kTest, false},
      {"no length, dropped after 2 MiB", {.dropAfterBytes = 2u << 20, .omitLength = true}, S::kTest, false},
      // The platform client needs a length to tell a cut body from a whole one; libcurl reads chunks.
      {"chunks, no length", {.chunked = true}, S::kTest, true},
      {"chunks, dropped after 2 MiB", {.dropAfterBytes = 2u << 20, .chunked = true}, S::kTest, false},
      {"zero bytes", {.replaceBody = true, .body = ""}, S::kTest, false},
      {"200 with an error page", {.replaceBody = true, .body = errorPage}, S::kTest, false},
  };
}

// The two servers with a bad certificate, each serving the installer as the test's services do.
class CertificateServers {
 public:
  CertificateServers(const std::string& installerFile, uint64_t installerSize)
      : wrongHost_(options("wronghost-server", installerFile, installerSize)),
        untrusted_(options("rogue-server", installerFile, installerSize)) {}

  bool start() { return wrongHost_.start() > 0 && untrusted_.start() > 0; }
  // The server of |server|; |test| for Server::kTest.
  standin::Services& of(Server server, standin::Services& test) {
    if (server == Server::kWrongHost) return wrongHost_;
    if (server == Server::kUntrusted) return untrusted_;
    return test;
  }

 private:
  static standin::Options options(const std::string& certificate, const std::string& installerFile,
                                  uint64_t installerSize) {
    return standin::Options{.certFile = nettest::certFile(certificate + ".pem"),
                            .keyFile = nettest::certFile(certificate + ".key"),
                            .installerFile = installerFile,
                            .installerSize = installerSize};
  }

  standin::Services wrongHost_;
  standin::Services untrusted_;
};

}  // namespace downloadfaults
