// Requests: one per connection, "Connection: close", no redirect followed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <tl/expected.hpp>

#include "fetch/error.hpp"
#include "fetch/http/byte_range.hpp"
#include "fetch/http/response.hpp"
#include "fetch/http/server_url.hpp"
#include "fetch/progress.hpp"
#include "platform/bytes.hpp"

namespace fetch {

// The body of a POST; the bytes are borrowed for the call.
struct RequestBody {
  std::string content_type;
  platform::ByteView bytes;
};

// The updater's version and build label (morvane/config.hpp) joined by "+",
// made once.
const std::string& client_version();
// "<product>-fetch <product>/" and the client version, the product word in
// lower case.
std::string user_agent();

// The request head as it goes on the wire: the request line, Host (without
// the port), Connection, User-Agent, then Content-Type and Content-Length
// with a body or Range with a range, then the empty line.
std::string request_head(const ServerUrl& url, const std::string& target, const std::optional<RequestBody>& body,
                         const std::optional<ByteRange>& range);

// GET, or POST with a body, of the prefix followed by `path`, on a connection
// with a 60-second receive time-out. A redirect comes back as
// Response::Redirect.
tl::expected<Response, FetchError> send_request(const ServerUrl& url, const std::string& path,
                                                const std::optional<RequestBody>& body, const ProgressFn& progress);

// send_request without a body; a redirect is refused (FetchError::HttpStatus).
tl::expected<Response, FetchError> get_without_redirect(const ServerUrl& url, const std::string& path,
                                                        const ProgressFn& progress);

// The download GET: the body bytes of a 200 answer, or with a range of a 206
// answer for exactly that span. Redirects and 304 answers are refused.
tl::expected<platform::Bytes, FetchError> get_bytes(const ServerUrl& url, const std::string& path,
                                                    const std::optional<ByteRange>& range,
                                                    std::uint32_t receive_timeout_seconds, const ProgressFn& progress);

}  // namespace fetch
