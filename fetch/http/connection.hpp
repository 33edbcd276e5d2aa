// A connection to a server for one request: a plain TCP socket, or a TLS
// session over one, with its handshake done when it is handed out, and the
// reads and writes over either. open_connection.hpp makes one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <variant>

#include <tl/expected.hpp>

#include "fetch/http/tls_stream.hpp"
#include "platform/bytes.hpp"
#include "platform/io_error.hpp"
#include "platform/socket.hpp"

namespace fetch {

struct HttpConnection {
  struct Plain {
    platform::Socket socket;
  };
  // One owned value: the TLS session and the socket under it. Releasing it
  // sends no close alert.
  struct Tls {
    std::unique_ptr<TlsStream> stream;
  };
  std::variant<Plain, Tls> value;
};

// The size of the buffer connection_read fills.
inline constexpr std::size_t connection_read_size = 4096;
// The most connection_read_body takes in one read.
inline constexpr std::size_t connection_body_read_size = 64 * 1024;

// Writes every byte (for TLS, as application data).
tl::expected<void, platform::IoError> connection_write_all(HttpConnection& connection, platform::ByteView bytes);
// Sends whatever the connection still holds back.
tl::expected<void, platform::IoError> connection_flush(HttpConnection& connection);
// Reads up to connection_read_size bytes into the buffer; 0 when the peer
// closed (for TLS: with a close_notify alert; an end without one is the TLS
// library's unexpected-end error).
tl::expected<std::size_t, platform::IoError> connection_read(HttpConnection& connection,
                                                             std::span<std::uint8_t> buffer);
// As connection_read, for a body: up to connection_body_read_size bytes in
// one read, so that a large body costs few calls (over TLS, one read takes
// what one record holds).
tl::expected<std::size_t, platform::IoError> connection_read_body(HttpConnection& connection,
                                                                  std::span<std::uint8_t> buffer);
// Releases the TLS session without a close alert and closes the socket.
void connection_close(HttpConnection& connection);

// The socket under the connection.
const platform::Socket& connection_socket(const HttpConnection& connection);
// True when the connection's TLS handshake resumed an earlier session.
bool connection_resumed_session(const HttpConnection& connection);

}  // namespace fetch
