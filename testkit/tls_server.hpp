// What the tests' own TLS servers (tls_peer.hpp, site_server.hpp) share:
// OpenSSL's server side over a loopback socket, its objects each with one
// owner.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include <openssl/ssl.h>

#include "platform/socket.hpp"

namespace testkit {

// A server's certificate chain and private key, PEM files by path.
struct ServerCredentials {
  std::string chain;
  std::string key;
};

struct SslContextFree {
  void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};
struct SslFree {
  void operator()(SSL* ssl) const { SSL_free(ssl); }
};
using SslContext = std::unique_ptr<SSL_CTX, SslContextFree>;
using Ssl = std::unique_ptr<SSL, SslFree>;

// A server context with the chain and key loaded; null when either cannot be.
SslContext tls_server_context(const ServerCredentials& credentials);

// OpenSSL writes to the socket itself: a client that has gone must not end
// the test process with SIGPIPE (Windows has no such signal).
void ignore_broken_pipes();

// An accepted connection with its TLS session; the session goes first.
struct TlsServerSide {
  platform::Socket socket;
  Ssl ssl;
};

// The server's handshake on an accepted socket, which gets receive and send
// time-outs of 5 seconds; nothing when the handshake fails.
std::optional<TlsServerSide> accept_tls(SSL_CTX* context, platform::Socket socket);

// The request head, read a byte at a time up to and with its empty line, or
// what came before the client stopped sending.
std::string read_tls_head(SSL* ssl);

}  // namespace testkit
