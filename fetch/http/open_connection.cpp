#include "fetch/http/open_connection.hpp"

#include <chrono>

#include <fmt/format.h>

#include "fetch/debug_quote.hpp"
#include "fetch/http/connect_error.hpp"
#include "fetch/http/connect_tcp.hpp"
#include "fetch/http/goes_direct.hpp"
#include "fetch/http/proxy_settings.hpp"
#include "fetch/http/tls_config.hpp"
#include "fetch/http/tls_server_name.hpp"
#include "fetch/http/tunnel.hpp"

namespace fetch {

namespace {

// The TCP stage: direct, or to the proxy and through its tunnel.
tl::expected<platform::Socket, ConnectError> connect_stage(const ServerUrl& url) {
  const ProxySettings settings = proxy_settings();
  if (!settings.endpoint || goes_direct(url.host, settings)) {
    auto socket = connect_tcp(url.host, url.port);
    if (!socket) {
      return tl::unexpected(
          ConnectError{ConnectError::Direct{fmt::format("{}:{}", url.host, url.port), socket.error().text()}});
    }
    return std::move(*socket);
  }

  const ProxyEndpoint& proxy = *settings.endpoint;
  auto socket = connect_tcp(proxy.host, proxy.port);
  if (!socket) {
    return tl::unexpected(
        ConnectError{ConnectError::ProxySilent{fmt::format("{}:{}", proxy.host, proxy.port), socket.error().text()}});
  }
  auto tunnel = proxy.kind == ProxyKind::Socks5 ? socks5_tunnel(*socket, proxy, url.host, url.port)
                                                : http_connect_tunnel(*socket, proxy, url.host, url.port);
  if (!tunnel) return tl::unexpected(std::move(tunnel.error()));
  return std::move(*socket);
}

}  // namespace

tl::expected<HttpConnection, FetchError> open_connection(const ServerUrl& url, std::uint32_t receive_timeout_seconds) {
  auto connected = connect_stage(url);
  if (!connected) return tl::unexpected(unreachable_error(url, format_connect_error(connected.error())));
  platform::Socket socket = std::move(*connected);

  const auto timeout = std::chrono::milliseconds(std::uint64_t{receive_timeout_seconds} * 1000);
  if (auto set = socket.set_receive_timeout(timeout); !set) {
    socket.close();
    return tl::unexpected(unreachable_error(url, set.error().text()));
  }

  if (!url.https) return HttpConnection{HttpConnection::Plain{std::move(socket)}};

  const auto name = tls_server_name(url.host);
  if (!name) {
    socket.close();
    return tl::unexpected(bad_url_error(
        format_server_url(url), fmt::format("{} cannot be a TLS server name: {}", debug_quote(url.host), "invalid dns name")));
  }

  SSL_CTX* config = build_tls_config();
  auto stream = TlsStream::start(config, std::move(socket), *name, url.host);
  if (!stream) {
    return tl::unexpected(tls_refused_error(url, fmt::format("the TLS session could not be started: {}", stream.error())));
  }
  if (auto shaken = (*stream)->handshake(); !shaken) {
    return tl::unexpected(tls_refused_error(url, std::move(shaken.error())));
  }
  return HttpConnection{HttpConnection::Tls{std::move(*stream)}};
}

}  // namespace fetch
