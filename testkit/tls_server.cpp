#include "testkit/tls_server.hpp"

#include <chrono>
#include <csignal>

#include <openssl/err.h>

namespace testkit {

SslContext tls_server_context(const ServerCredentials& credentials) {
  SslContext context(SSL_CTX_new(TLS_server_method()));
  if (!context || SSL_CTX_use_certificate_chain_file(context.get(), credentials.chain.c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(context.get(), credentials.key.c_str(), SSL_FILETYPE_PEM) != 1) {
    ERR_clear_error();
    return nullptr;
  }
  return context;
}

void ignore_broken_pipes() {
#ifdef SIGPIPE
  std::signal(SIGPIPE, SIG_IGN);
#endif
}

std::optional<TlsServerSide> accept_tls(SSL_CTX* context, platform::Socket socket) {
  (void)socket.set_receive_timeout(std::chrono::seconds(5));
  (void)socket.set_send_timeout(std::chrono::seconds(5));
  Ssl ssl(SSL_new(context));
  SSL_set_fd(ssl.get(), static_cast<int>(socket.native_handle()));
  if (SSL_accept(ssl.get()) != 1) {
    ERR_clear_error();
    return std::nullopt;
  }
  return TlsServerSide{std::move(socket), std::move(ssl)};
}

std::string read_tls_head(SSL* ssl) {
  std::string head;
  char byte;
  while (!head.ends_with("\r\n\r\n") && SSL_read(ssl, &byte, 1) == 1) head += byte;
  return head;
}

}  // namespace testkit
