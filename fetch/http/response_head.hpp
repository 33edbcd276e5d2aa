// The head of an HTTP answer: its status and the few headers the client
// uses.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <tl/expected.hpp>

namespace fetch {

struct ResponseHead {
  std::uint16_t status = 0;
  std::optional<std::uint64_t> content_length;
  bool chunked = false;
  std::optional<std::string> location;
  std::optional<std::string> content_range;
  std::optional<std::string> etag;
  std::optional<std::string> last_modified;
};

// Reads a head (everything before the empty line, in valid UTF-8). The
// status is the second whitespace-separated token of the first line; every
// further line is "name: value" (a line without ":" is skipped), the name
// compared without regard to ASCII case, a repeated header replacing the
// earlier one. A failure answers the reason: an unreadable status or
// Content-Length.
tl::expected<ResponseHead, std::string> parse_response_head(std::string_view head);

}  // namespace fetch
