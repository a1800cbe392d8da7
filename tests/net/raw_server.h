// Plain sockets for the cases the stand-in services cannot show: a listener whose accept queue
// is full (connections never complete) and a server that records raw requests and sends a
// canned reply.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace nettest {

class FullListener {
 public:
  FullListener();
  ~FullListener();
  FullListener(const FullListener&) = delete;
  FullListener& operator=(const FullListener&) = delete;

  int port() const { return port_; }
  // Whether a new connection to it indeed does not complete.
  bool saturated() const { return saturated_; }

 private:
  int listener_ = -1;
  std::vector<int> clients_;
  int port_ = 0;
  bool saturated_ = false;
};

class RawServer {
 public:
  // Answers every request with |reply| (sent as is) and closes the connection.
  explicit RawServer(std::string reply);
  // The same, one byte every |msPerByte| milliseconds (headers included): a server that
  // trickles, which no idle time-out ends.
  RawServer(std::string reply, int msPerByte);
  ~RawServer();
  RawServer(const RawServer&) = delete;
  RawServer& operator=(const RawServer&) = delete;

  int port() const;
  // Each request as received: header block and body.
  std::vector<std::string> requests() const;

  struct State;

 private:
  std::shared_ptr<State> state_;
};

// A loopback port nothing listens on (connections are refused).
int closedPort();

}  // namespace nettest

namespace nettest {

// Whether something accepts connections on the loopback |port| within |waitMs|.
bool waitForPort(int port, int waitMs);

// A tinyproxy of its own on a free loopback port, with a temporary configuration and log.
class TinyProxy {
 public:
  explicit TinyProxy(const std::string& folder);
  ~TinyProxy();
  TinyProxy(const TinyProxy&) = delete;
  TinyProxy& operator=(const TinyProxy&) = delete;

  bool running() const { return pid_ > 0; }
  int port() const { return port_; }
  std::string log() const;

 private:
  std::string logFile_;
  int pid_ = -1;
  int port_ = 0;
};

}  // namespace nettest
