#include "fetch/tests/tls_peer.hpp"

#include <csignal>
#include <memory>
#include <stdexcept>

#include <openssl/err.h>
#include <openssl/ssl.h>

#include "testkit/loopback.hpp"

namespace fetch_test {

namespace {

struct CtxFree {
  void operator()(SSL_CTX* ctx) const { SSL_CTX_free(ctx); }
};
struct SslFree {
  void operator()(SSL* ssl) const { SSL_free(ssl); }
};

std::unique_ptr<SSL_CTX, CtxFree> server_context(const ServerCredentials& credentials) {
  std::unique_ptr<SSL_CTX, CtxFree> ctx(SSL_CTX_new(TLS_server_method()));
  if (!ctx || SSL_CTX_use_certificate_chain_file(ctx.get(), credentials.chain.c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(ctx.get(), credentials.key.c_str(), SSL_FILETYPE_PEM) != 1) {
    throw std::runtime_error("the test TLS server cannot load " + credentials.chain);
  }
  return ctx;
}

}  // namespace

TlsPeer::TlsPeer(const ServerCredentials& credentials, Handler handler, int connections) {
  // OpenSSL writes to the descriptor itself; a client that has gone must not
  // end the test process (Windows has no such signal).
#ifdef SIGPIPE
  std::signal(SIGPIPE, SIG_IGN);
#endif
  auto listener = platform::Listener::bind(testkit::loopback4(0), 16);
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
  auto ctx = server_context(credentials);
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  for (int served = 0; served < connections && !stop_;) {
    if (std::chrono::steady_clock::now() > give_up) return;
    auto accepted = listener_.accept(std::chrono::milliseconds(100));
    if (!accepted) continue;
    ++served;
    platform::Socket socket = std::move(*accepted);
    (void)socket.set_receive_timeout(std::chrono::seconds(5));
    std::unique_ptr<SSL, SslFree> ssl(SSL_new(ctx.get()));
    SSL_set_fd(ssl.get(), static_cast<int>(socket.native_handle()));
    if (SSL_accept(ssl.get()) != 1) {
      ERR_clear_error();
      continue;
    }
    std::string head;
    char byte;
    while (!head.ends_with("\r\n\r\n")) {
      if (SSL_read(ssl.get(), &byte, 1) != 1) break;
      head += byte;
    }
    {
      std::lock_guard lock(mutex_);
      heads_.push_back(head);
    }
    const TlsAnswer answer = handler(head);
    std::this_thread::sleep_for(answer.delay);
    if (!answer.bytes.empty()) SSL_write(ssl.get(), answer.bytes.data(), static_cast<int>(answer.bytes.size()));
    if (answer.close_notify) SSL_shutdown(ssl.get());
    ERR_clear_error();
  }
}

}  // namespace fetch_test
