// The HTTP CONNECT tunnel.
#include <string>

#include <fmt/format.h>

#include "fetch/http/tunnel.hpp"
#include "fetch/http/tunnel_wire.hpp"
#include "platform/text.hpp"

namespace fetch {

namespace {

using platform::ErrorKind;
using platform::IoError;

constexpr std::size_t kHeadLimit = 16'385;

bool head_complete(const std::string& head) { return head.ends_with("\r\n\r\n") || head.ends_with("\n\n"); }

// Reads the answer head one byte per receive, so that nothing of the
// server's stream behind it is taken from the socket.
tl::expected<std::string, IoError> read_head(platform::Socket& socket) {
  std::string head;
  head.reserve(128);
  for (;;) {
    std::uint8_t byte = 0;
    auto got = socket.receive(std::span(&byte, 1));
    if (!got) return tl::unexpected(std::move(got.error()));
    if (*got == 0) return tl::unexpected(IoError::custom(ErrorKind::UnexpectedEof, "it closed the connection"));
    head.push_back(static_cast<char>(byte));
    if (head_complete(head)) return head;
    if (head.size() >= kHeadLimit) {
      return tl::unexpected(IoError::custom(ErrorKind::InvalidData, "its answer had no end of headers"));
    }
  }
}

std::string status_line_of(const std::string& head) {
  const std::string text = platform::utf8_lossy(head);
  std::string_view line = std::string_view(text).substr(0, text.find('\n'));
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return std::string(platform::trim_unicode(line));
}

// The second white-space separated word of the line, or the empty text.
std::string_view second_word(std::string_view line) {
  int word = 0;
  std::size_t pos = 0;
  std::size_t start = std::string_view::npos;
  while (pos <= line.size()) {
    const std::size_t at = pos;
    const bool blank = pos == line.size() || platform::is_unicode_whitespace(platform::next_code_point(line, pos));
    if (blank) {
      if (start != std::string_view::npos) {
        if (++word == 2) return line.substr(start, at - start);
        start = std::string_view::npos;
      }
      if (at == line.size()) break;
    } else if (start == std::string_view::npos) {
      start = at;
    }
  }
  return {};
}

}  // namespace

tl::expected<void, ConnectError> http_connect_tunnel(platform::Socket& socket, const ProxyEndpoint& proxy,
                                                     const std::string& host, std::uint16_t port) {
  TunnelFailures failures(socket, host, port);
  const std::string& target = failures.target();

  std::string request = fmt::format("CONNECT {} HTTP/1.1\r\nHost: {}\r\n", target, target);
  if (proxy.credentials) {
    const std::string pair = fmt::format("{}:{}", proxy.credentials->user, proxy.credentials->password);
    request += fmt::format("Proxy-Authorization: Basic {}\r\n", base64_encode(pair));
  }
  request += "Proxy-Connection: keep-alive\r\n\r\n";
  if (auto sent = socket.send_all(platform::byte_view(request)); !sent) return failures.silent(sent.error());

  auto head = read_head(socket);
  if (!head) return failures.not_a_proxy(fmt::format("reading its answer: {}", head.error().text()));

  const std::string status_line = status_line_of(*head);
  const std::string_view code = second_word(status_line);
  if (code == "200") return {};
  if (code == "407") {
    return failures.refused(proxy.credentials ? "it did not accept the username and password in the proxy address"
                                              : "it wants a username and password, and the proxy address carries none");
  }
  if (code == "403" && port != 443) {
    return failures.refused(
        fmt::format("{} \u2014 many HTTP proxies allow a tunnel to port 443 only, and this one was asked for port {}",
                    status_line, port));
  }
  if (code == "403" || code == "401") return failures.refused(status_line);
  if (code == "502" || code == "503" || code == "504") return failures.cannot_reach(status_line);
  return failures.not_a_proxy(status_line);
}

}  // namespace fetch
