#include "tests/net/tls_peers.h"

#include <httplib.h>
#include <openssl/ssl.h>

#include <cstdlib>
#include <thread>

#include "tests/net/net_test_support.h"

namespace nettest {

struct RedirectServer::Impl {
  httplib::SSLServer server{certFile("server.pem").c_str(), certFile("server.key").c_str()};
  std::thread thread;
};

RedirectServer::RedirectServer(std::string location) : impl_(std::make_unique<Impl>()) {
  auto redirect = [location](const httplib::Request&, httplib::Response& response) {
    response.set_redirect(location, 302);
  };
  impl_->server.Get(".*", redirect);
  impl_->server.Post(".*", redirect);
  port_ = impl_->server.bind_to_any_port("127.0.0.1");
  if (port_ > 0) impl_->thread = std::thread([this] { impl_->server.listen_after_bind(); });
}

RedirectServer::~RedirectServer() {
  impl_->server.stop();
  if (impl_->thread.joinable()) impl_->thread.join();
}

std::string RedirectServer::url(const std::string& path) const {
  return "https://127.0.0.1:" + std::to_string(port_) + path;
}

int rawTlsGetStatus(int port, const std::string& target) {
  SSL_CTX* context = SSL_CTX_new(TLS_client_method());
  if (context == nullptr) return -1;
  int status = -1;
  SSL_CTX_load_verify_locations(context, certFile("ca.pem").c_str(), nullptr);
  SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
  BIO* bio = BIO_new_ssl_connect(context);
  SSL* ssl = nullptr;
  BIO_get_ssl(bio, &ssl);
  const std::string address = "127.0.0.1:" + std::to_string(port);
  BIO_set_conn_hostname(bio, address.c_str());
  if (ssl != nullptr && SSL_set1_host(ssl, "127.0.0.1") == 1 && BIO_do_connect(bio) == 1 &&
      BIO_do_handshake(bio) == 1) {
    const std::string request =
        "GET " + target + " HTTP/1.1\r\nHost: " + address + "\r\nConnection: close\r\n\r\n";
    if (BIO_write(bio, request.data(), static_cast<int>(request.size())) == static_cast<int>(request.size())) {
      std::string reply;
      char buffer[4096];
      int n = 0;
      while (reply.find("\r\n") == std::string::npos && (n = BIO_read(bio, buffer, sizeof(buffer))) > 0) {
        reply.append(buffer, static_cast<size_t>(n));
      }
      // "HTTP/1.1 404 Not Found"
      if (reply.rfind("HTTP/1.", 0) == 0 && reply.size() > 12) status = std::atoi(reply.c_str() + 9);
    }
  }
  BIO_free_all(bio);
  SSL_CTX_free(context);
  return status;
}

}  // namespace nettest
