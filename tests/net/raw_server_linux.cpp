#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <thread>

#include "tests/net/raw_server.h"

namespace nettest {

namespace {

int listenOnLoopback(int backlog, int& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof(address);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || ::listen(fd, backlog) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(fd);
    return -1;
  }
  port = ntohs(address.sin_port);
  return fd;
}

// A non-blocking connect to |port|; true when it completed within |waitMs|.
bool connects(int port, int waitMs, int& fd) {
  fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) return true;
  if (errno != EINPROGRESS) return false;
  pollfd p{fd, POLLOUT, 0};
  if (::poll(&p, 1, waitMs) != 1) return false;
  int error = 0;
  socklen_t length = sizeof(error);
  return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

}  // namespace

FullListener::FullListener() {
  listener_ = listenOnLoopback(0, port_);
  if (listener_ < 0) return;
  // Fill the accept queue; the connection that no longer completes shows it is full.
  for (int i = 0; i < 16; ++i) {
    int fd = -1;
    const bool done = connects(port_, 300, fd);
    if (fd >= 0) clients_.push_back(fd);
    if (!done) {
      saturated_ = true;
      break;
    }
  }
}

FullListener::~FullListener() {
  for (const int fd : clients_) ::close(fd);
  if (listener_ >= 0) ::close(listener_);
}

struct RawServer::State {
  int listener = -1;
  int port = 0;
  std::string reply;
  int msPerByte = 0;
  std::atomic<bool> stopping{false};
  mutable std::mutex mutex;
  std::vector<std::string> requests;
  std::thread thread;

  void serve() {
    while (!stopping.load()) {
      pollfd p{listener, POLLIN, 0};
      if (::poll(&p, 1, 50) != 1) continue;
      const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      std::string request;
      char buffer[4096];
      size_t wanted = std::string::npos;
      while (request.size() < wanted) {
        pollfd q{fd, POLLIN, 0};
        if (::poll(&q, 1, 2000) != 1) break;
        const ssize_t n = ::read(fd, buffer, sizeof(buffer));
        if (n <= 0) break;
        request.append(buffer, static_cast<size_t>(n));
        const size_t end = request.find("\r\n\r\n");
        if (end != std::string::npos && wanted == std::string::npos) {
          size_t length = 0;
          const std::string headers = request.substr(0, end);
          for (const char* name : {"Content-Length:", "content-length:"}) {
            const size_t at = headers.find(name);
            if (at != std::string::npos) length = std::strtoul(headers.c_str() + at + std::strlen(name), nullptr, 10);
          }
          wanted = end + 4 + length;
        }
      }
      {
        std::lock_guard<std::mutex> lock(mutex);
        requests.push_back(request);
      }
      size_t sent = 0;
      while (sent < reply.size() && !stopping.load()) {
        const size_t chunk = msPerByte > 0 ? 1 : reply.size() - sent;
        const ssize_t n = ::send(fd, reply.data() + sent, chunk, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
        // The pace of a trickling server; a client that gave up shows as a closed peer.
        if (msPerByte > 0) {
          pollfd q{fd, POLLIN | POLLRDHUP, 0};
          if (::poll(&q, 1, msPerByte) == 1) break;
        }
      }
      ::shutdown(fd, SHUT_WR);
      ::close(fd);
    }
  }
};

RawServer::RawServer(std::string reply) : RawServer(std::move(reply), 0) {}

RawServer::RawServer(std::string reply, int msPerByte) : state_(std::make_shared<State>()) {
  state_->reply = std::move(reply);
  state_->msPerByte = msPerByte;
  state_->listener = listenOnLoopback(16, state_->port);
  if (state_->listener >= 0) state_->thread = std::thread([state = state_] { state->serve(); });
}

RawServer::~RawServer() {
  state_->stopping.store(true);
  if (state_->thread.joinable()) state_->thread.join();
  if (state_->listener >= 0) ::close(state_->listener);
}

int RawServer::port() const { return state_->port; }

std::vector<std::string> RawServer::requests() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->requests;
}

bool waitForPort(int port, int waitMs) {
  for (int waited = 0; waited < waitMs; waited += 20) {
    int fd = -1;
    const bool ok = connects(port, 200, fd);
    if (fd >= 0) ::close(fd);
    if (ok) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

int closedPort() {
  int port = 0;
  const int fd = listenOnLoopback(1, port);
  if (fd >= 0) ::close(fd);
  return port;
}

}  // namespace nettest
