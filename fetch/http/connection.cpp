#include "fetch/http/connection.hpp"

#include <algorithm>

#include "platform/overloaded.hpp"

namespace fetch {

using platform::Overloaded;

tl::expected<void, platform::IoError> connection_write_all(HttpConnection& connection, platform::ByteView bytes) {
  return std::visit(Overloaded{
                        [&](HttpConnection::Plain& plain) { return plain.socket.send_all(bytes); },
                        [&](HttpConnection::Tls& tls) { return tls.stream->write_all(bytes); },
                    },
                    connection.value);
}

tl::expected<void, platform::IoError> connection_flush(HttpConnection& connection) {
  if (auto* tls = std::get_if<HttpConnection::Tls>(&connection.value)) return tls->stream->flush();
  return {};
}

namespace {

tl::expected<std::size_t, platform::IoError> read_some(HttpConnection& connection, std::span<std::uint8_t> buffer) {
  return std::visit(Overloaded{
                        [&](HttpConnection::Plain& plain) { return plain.socket.receive(buffer); },
                        [&](HttpConnection::Tls& tls) { return tls.stream->read(buffer); },
                    },
                    connection.value);
}

}  // namespace

tl::expected<std::size_t, platform::IoError> connection_read(HttpConnection& connection,
                                                             std::span<std::uint8_t> buffer) {
  return read_some(connection, buffer.first(std::min(buffer.size(), connection_read_size)));
}

tl::expected<std::size_t, platform::IoError> connection_read_body(HttpConnection& connection,
                                                                  std::span<std::uint8_t> buffer) {
  return read_some(connection, buffer.first(std::min(buffer.size(), connection_body_read_size)));
}

void connection_close(HttpConnection& connection) {
  std::visit(Overloaded{
                 [](HttpConnection::Plain& plain) { plain.socket.close(); },
                 [](HttpConnection::Tls& tls) { tls.stream.reset(); },
             },
             connection.value);
}

const platform::Socket& connection_socket(const HttpConnection& connection) {
  static const platform::Socket closed;
  return std::visit(Overloaded{
                        [](const HttpConnection::Plain& plain) -> const platform::Socket& { return plain.socket; },
                        [](const HttpConnection::Tls& tls) -> const platform::Socket& {
                          return tls.stream ? tls.stream->socket() : closed;
                        },
                    },
                    connection.value);
}

bool connection_resumed_session(const HttpConnection& connection) {
  const auto* tls = std::get_if<HttpConnection::Tls>(&connection.value);
  return tls != nullptr && tls->stream && tls->stream->session_reused();
}

}  // namespace fetch
