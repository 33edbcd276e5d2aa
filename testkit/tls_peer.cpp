#include "testkit/tls_peer.hpp"

#include <stdexcept>

#include <openssl/err.h>

#include "testkit/loopback.hpp"

namespace testkit {

TlsPeer::TlsPeer(const ServerCredentials& credentials, Handler handler, int connections) {
  ignore_broken_pipes();
  auto listener = platform::Listener::bind(loopback4(0), 16);
  if (!listener) throw std::runtime_error("cannot listen: " + listener.error().text());
  listener_ = std::move(*listener);
  port_ = listener_.local_address()->port;
  thread_ = std::thread([this, credentials, handler = std::move(handler), connections] {
    run(credentials, handler, connections);
  });
}

TlsPeer::~TlsPeer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

std::vector<std::string> TlsPeer::heads() {
  std::lock_guard lock(mutex_);
  return heads_;
}

void TlsPeer::run(ServerCredentials credentials, Handler handler, int connections) {
  const SslContext context = tls_server_context(credentials);
  if (!context) throw std::runtime_error("the test TLS server cannot load " + credentials.chain);
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  for (int served = 0; served < connections && !stop_;) {
    if (std::chrono::steady_clock::now() > give_up) return;
    auto accepted = listener_.accept(std::chrono::milliseconds(100));
    if (!accepted) continue;
    ++served;
    auto tls = accept_tls(context.get(), std::move(*accepted));
    if (!tls) continue;
    SSL* ssl = tls->ssl.get();
    const std::string head = read_tls_head(ssl);
    {
      std::lock_guard lock(mutex_);
      heads_.push_back(head);
    }
    const TlsAnswer answer = handler(head);
    std::this_thread::sleep_for(answer.delay);
    if (!answer.bytes.empty()) SSL_write(ssl, answer.bytes.data(), static_cast<int>(answer.bytes.size()));
    if (answer.close_notify) SSL_shutdown(ssl);
    ERR_clear_error();
  }
}

}  // namespace testkit
