#include "fetch/http/response.hpp"

#include <algorithm>
#include <array>

#include <fmt/format.h>

#include "fetch/debug_quote.hpp"
#include "fetch/http/response_head.hpp"
#include "platform/text.hpp"

namespace fetch {

namespace {

constexpr std::string_view head_end = "\r\n\r\n";

struct RawHead {
  std::string head;
  platform::Bytes body_start;
};

tl::expected<RawHead, FetchError> read_head(HttpConnection& connection, const std::string& target) {
  std::string buffer;
  buffer.reserve(1024);
  std::array<std::uint8_t, connection_read_size> piece;
  for (;;) {
    auto got = connection_read(connection, piece);
    if (!got) return tl::unexpected(malformed_error(target, fmt::format("read failed: {}", got.error().text())));
    if (*got == 0) return tl::unexpected(malformed_error(target, "connection closed before the headers ended"));
    buffer.append(reinterpret_cast<const char*>(piece.data()), *got);
    if (const auto end = buffer.find(head_end); end != std::string::npos) {
      RawHead raw;
      const auto rest = std::string_view(buffer).substr(end + head_end.size());
      raw.body_start = platform::to_bytes(rest);
      buffer.resize(end);
      raw.head = std::move(buffer);
      return raw;
    }
    if (buffer.size() >= head_limit) return tl::unexpected(malformed_error(target, "headers exceed 64 KiB"));
  }
}

// The first up to 200 bytes of what arrived of the body, as text.
std::string status_message(const platform::Bytes& body_start) {
  const std::size_t length = std::min<std::size_t>(body_start.size(), 200);
  return platform::utf8_lossy(platform::text_view(platform::ByteView(body_start).first(length)));
}

}  // namespace

tl::expected<Response, FetchError> read_response(HttpConnection& connection, const std::string& target,
                                                 const std::optional<ByteRange>& range, bool request_had_body,
                                                 const ProgressFn& progress) {
  auto raw = read_head(connection, target);
  if (!raw) return tl::unexpected(std::move(raw.error()));
  if (!platform::is_valid_utf8(raw->head)) return tl::unexpected(malformed_error(target, "headers are not UTF-8"));

  auto head = parse_response_head(raw->head);
  if (!head) return tl::unexpected(malformed_error(target, std::move(head.error())));

  const std::uint16_t status = head->status;
  if (status == 404) return tl::unexpected(FetchError{FetchError::NotFound{target}});
  if (status == 304) return Response{Response::NotModified{}};
  if (status >= 301 && status <= 308 && head->location) {
    return Response{Response::Redirect{std::move(*head->location), status}};
  }

  const bool accepted = (status == 201 && request_had_body) || (range ? status == 206 : status == 200);
  if (!accepted) {
    return tl::unexpected(FetchError{FetchError::HttpStatus{target, status_message(raw->body_start), status}});
  }

  if (range) {
    const std::string expected = fmt::format("bytes {}-{}/{}", range->start, range->end, range->total);
    if (head->content_range != expected) {
      const std::string answered =
          head->content_range ? fmt::format("Some({})", debug_quote(*head->content_range)) : std::string("None");
      return tl::unexpected(malformed_error(target, fmt::format("asked for {}, answered {}", expected, answered)));
    }
  }
  if (head->chunked) {
    return tl::unexpected(malformed_error(target, "Transfer-Encoding: chunked is not supported by this client"));
  }
  if (!head->content_length) return tl::unexpected(malformed_error(target, "no Content-Length on a 200 response"));

  const std::uint64_t length = *head->content_length;
  platform::Bytes body = std::move(raw->body_start);
  // The body bytes in hand. The buffer's size runs ahead of it: reads land
  // straight in the buffer, in room that is zero-filled a step at a time.
  std::size_t have = body.size();
  const auto report = [&] { return progress(std::min<std::uint64_t>(have, length), length); };
  if (!report()) return tl::unexpected(FetchError{FetchError::Cancelled{}});

  if (have < length) {
    // Room for the rest, but never more than a bounded amount on a server's
    // word: an absurd Content-Length must not exhaust memory before a single
    // byte has come.
    body.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(length, have + std::uint64_t{body_reserve_limit})));
  }
  while (have < length) {
    if (have == body.size()) {
      if (body.size() == body.capacity()) {
        body.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(length, std::uint64_t{have} * body_growth)));
      }
      const std::uint64_t room_end = std::min<std::uint64_t>({length, body.capacity(), have + body_fill_step});
      body.resize(static_cast<std::size_t>(room_end));
    }
    auto got = connection_read_body(connection, std::span<std::uint8_t>(body).subspan(have));
    if (!got) return tl::unexpected(malformed_error(target, fmt::format("read failed: {}", got.error().text())));
    if (*got == 0) {
      return tl::unexpected(
          malformed_error(target, fmt::format("connection closed at {} of {} body bytes", have, length)));
    }
    have += *got;
    if (!report()) return tl::unexpected(FetchError{FetchError::Cancelled{}});
  }
  body.resize(static_cast<std::size_t>(length));
  return Response{Response::Body{std::move(body), std::move(head->etag), std::move(head->last_modified)}};
}

}  // namespace fetch
