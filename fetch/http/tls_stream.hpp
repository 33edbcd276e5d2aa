// One TLS client session over one connected socket: the handshake, and
// reading and writing application data. Owns both; going away releases the
// session without a close alert and closes the socket.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include <tl/expected.hpp>

#include "fetch/http/tls_server_name.hpp"
#include "platform/bytes.hpp"
#include "platform/io_error.hpp"
#include "platform/socket.hpp"

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace fetch {

class TlsStream {
 public:
  // A session from the context for the server name, over the socket, not yet
  // shaken hands. A failure answers the TLS library's text; the socket is
  // closed then.
  static tl::expected<std::unique_ptr<TlsStream>, std::string> start(SSL_CTX* ctx, platform::Socket socket,
                                                                     const TlsServerName& name,
                                                                     std::string session_key);
  ~TlsStream();
  TlsStream(const TlsStream&) = delete;
  TlsStream& operator=(const TlsStream&) = delete;

  // Runs the handshake to its end. A failure answers its display text: the
  // socket's error, or the TLS library's (with the verifier's reason when the
  // certificate was refused).
  tl::expected<void, std::string> handshake();

  tl::expected<void, platform::IoError> write_all(platform::ByteView bytes);
  // Every record is written to the socket as it is made, so there is nothing
  // to flush; kept for symmetry with the plain socket.
  tl::expected<void, platform::IoError> flush();
  // Up to buffer.size() bytes of plaintext; 0 after the peer's close_notify.
  // An end of the socket without close_notify is the TLS library's
  // unexpected-end error.
  tl::expected<std::size_t, platform::IoError> read(std::span<std::uint8_t> buffer);

  const platform::Socket& socket() const { return socket_; }
  SSL* ssl() const { return ssl_.get(); }
  bool session_reused() const;

 private:
  struct SslFree {
    void operator()(SSL* ssl) const;
  };

  struct Key {
    explicit Key() = default;
  };

 public:
  TlsStream(Key, platform::Socket socket, std::string session_key);

 private:

  // The text for a failed call that answered `result`.
  std::string failure_text(int result);
  platform::IoError failure(int result);

  friend struct TlsStreamBio;

  platform::Socket socket_;
  // The key under which the session cache keeps this server's sessions; the
  // SSL object points at it, so it is declared before (and outlives) it.
  std::string session_key_;
  std::optional<platform::IoError> socket_error_;  // the last failure of the socket
  bool socket_ended_ = false;                      // the peer closed its side
  std::unique_ptr<SSL, SslFree> ssl_;
};

}  // namespace fetch
