// Reading the one answer of a request, under strict rules.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include <tl/expected.hpp>

#include "fetch/error.hpp"
#include "fetch/http/byte_range.hpp"
#include "fetch/http/connection.hpp"
#include "fetch/progress.hpp"
#include "platform/bytes.hpp"
#include "platform/one_of.hpp"

namespace fetch {

// The alternatives of a Response, which holds one of them.
struct ResponseCases {
  // An accepted status with its complete body (exactly Content-Length bytes).
  struct Body {
    platform::Bytes body;
    std::optional<std::string> etag;
    std::optional<std::string> last_modified;
    bool operator==(const Body&) const = default;
  };
  // HTTP 304.
  struct NotModified {
    bool operator==(const NotModified&) const = default;
  };
  // HTTP 301 to 308 with a Location header.
  struct Redirect {
    std::string location;
    std::uint16_t status = 0;
    bool operator==(const Redirect&) const = default;
  };

  std::variant<Body, NotModified, Redirect> value;

  bool operator==(const ResponseCases&) const = default;
};
using Response = platform::OneOf<ResponseCases>;

// The head is read in pieces of this size and may not grow to this many
// bytes without its end.
inline constexpr std::size_t head_limit = 65537;

// At most this much room is set aside for a body before it arrives, however
// long the server says it is. Once it is full the buffer grows to at most
// body_growth times what has arrived (and never past the length), so a large
// body is moved only once or twice while what a lying server can make the
// client set aside stays tied to what it really sent.
inline constexpr std::size_t body_reserve_limit = 8 * 1024 * 1024;
inline constexpr std::size_t body_growth = 32;
// The body is read straight into its buffer; room for the reads is made (and
// zero-filled) this much at a time, a piece that stays in the cache until
// the reads fill it.
inline constexpr std::size_t body_fill_step = 256 * 1024;

// Reads and checks the answer to a request for `target` (as it went on the
// request line). `range` is the span the request asked for, if any;
// `request_had_body` says whether it carried a body. The progress callback
// is called once before the body is read and after every read, with the
// body bytes so far (never more than the length) and the length.
tl::expected<Response, FetchError> read_response(HttpConnection& connection, const std::string& target,
                                                 const std::optional<ByteRange>& range, bool request_had_body,
                                                 const ProgressFn& progress);

}  // namespace fetch
