#include "fetch/http/request.hpp"

#include <fmt/format.h>

#include "fetch/http/connection.hpp"
#include "fetch/http/open_connection.hpp"
#include "morvane/config.hpp"

namespace fetch {

namespace {

constexpr std::uint32_t request_receive_timeout_seconds = 60;

// Writes the head (and the body, if any) and flushes; a failure is the
// server's FetchError::Unreachable.
tl::expected<void, FetchError> send_head(HttpConnection& connection, const ServerUrl& url, const std::string& head,
                                         const std::optional<RequestBody>& body) {
  auto sent = connection_write_all(connection, platform::byte_view(head));
  if (sent && body) sent = connection_write_all(connection, body->bytes);
  if (sent) sent = connection_flush(connection);
  if (!sent) return tl::unexpected(unreachable_error(url, fmt::format("send failed: {}", sent.error().text())));
  return {};
}

}  // namespace

const std::string& client_version() {
  static const std::string version = fmt::format("{}+{}", config::updater_version, config::build_label);
  return version;
}

std::string user_agent() { return fmt::format("{0}-fetch {0}/{1}", config::product_lower, client_version()); }

std::string request_head(const ServerUrl& url, const std::string& target, const std::optional<RequestBody>& body,
                         const std::optional<ByteRange>& range) {
  std::string head = fmt::format("{} {} HTTP/1.1\r\nHost: {}\r\nConnection: close\r\nUser-Agent: {}\r\n",
                                 body ? "POST" : "GET", target, url.host, user_agent());
  if (body) head += fmt::format("Content-Type: {}\r\nContent-Length: {}\r\n", body->content_type, body->bytes.size());
  if (range) head += fmt::format("Range: bytes={}-{}\r\n", range->start, range->end);
  head += "\r\n";
  return head;
}

tl::expected<Response, FetchError> send_request(const ServerUrl& url, const std::string& path,
                                                const std::optional<RequestBody>& body, const ProgressFn& progress) {
  const std::string target = url.prefix + path;
  auto connection = open_connection(url, request_receive_timeout_seconds);
  if (!connection) return tl::unexpected(std::move(connection.error()));

  auto answer = [&]() -> tl::expected<Response, FetchError> {
    if (auto sent = send_head(*connection, url, request_head(url, target, body, std::nullopt), body); !sent) {
      return tl::unexpected(std::move(sent.error()));
    }
    return read_response(*connection, target, std::nullopt, body.has_value(), progress);
  }();
  connection_close(*connection);
  return answer;
}

tl::expected<Response, FetchError> get_without_redirect(const ServerUrl& url, const std::string& path,
                                                        const ProgressFn& progress) {
  auto answer = send_request(url, path, std::nullopt, progress);
  if (answer) {
    if (const auto* redirect = answer->get<Response::Redirect>()) {
      return tl::unexpected(FetchError{FetchError::HttpStatus{
          url.prefix + path,
          fmt::format("a redirect to {}, which this client does not follow — the one exception is a single "
                      "https→https hop on an asset download",
                      redirect->location),
          redirect->status}});
    }
  }
  return answer;
}

tl::expected<platform::Bytes, FetchError> get_bytes(const ServerUrl& url, const std::string& path,
                                                    const std::optional<ByteRange>& range,
                                                    std::uint32_t receive_timeout_seconds, const ProgressFn& progress) {
  const std::string target = url.prefix + path;
  auto connection = open_connection(url, receive_timeout_seconds);
  if (!connection) return tl::unexpected(std::move(connection.error()));

  auto answer = [&]() -> tl::expected<platform::Bytes, FetchError> {
    if (auto sent = send_head(*connection, url, request_head(url, target, std::nullopt, range), std::nullopt); !sent) {
      return tl::unexpected(std::move(sent.error()));
    }
    auto response = read_response(*connection, target, range, false, progress);
    if (!response) return tl::unexpected(std::move(response.error()));
    if (auto* body = std::get_if<Response::Body>(&response->value)) return std::move(body->body);
    if (const auto* redirect = response->get<Response::Redirect>()) {
      return tl::unexpected(FetchError{FetchError::HttpStatus{
          target, fmt::format("a redirect to {}, which a release download does not follow", redirect->location),
          redirect->status}});
    }
    return tl::unexpected(not_modified_error(target));
  }();
  connection_close(*connection);
  return answer;
}

}  // namespace fetch
