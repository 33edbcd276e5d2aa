#include "fetch/http/response_head.hpp"

#include <vector>

#include <fmt/format.h>

#include "fetch/debug_quote.hpp"
#include "fetch/http/decimal.hpp"
#include "platform/text.hpp"

namespace fetch {

using platform::ascii_lower;

namespace {

// The text's tokens between runs of Unicode white space.
std::vector<std::string_view> split_whitespace(std::string_view text) {
  std::vector<std::string_view> tokens;
  std::size_t pos = 0;
  std::size_t token_start = std::string_view::npos;
  while (pos < text.size()) {
    const std::size_t at = pos;
    const char32_t c = platform::next_code_point(text, pos);
    if (platform::is_unicode_whitespace(c)) {
      if (token_start != std::string_view::npos) tokens.push_back(text.substr(token_start, at - token_start));
      token_start = std::string_view::npos;
    } else if (token_start == std::string_view::npos) {
      token_start = at;
    }
  }
  if (token_start != std::string_view::npos) tokens.push_back(text.substr(token_start));
  return tokens;
}

}  // namespace

tl::expected<ResponseHead, std::string> parse_response_head(std::string_view head) {
  ResponseHead parsed;
  std::size_t line_end = head.find("\r\n");
  const std::string_view status_line = head.substr(0, line_end);

  const auto tokens = split_whitespace(status_line);
  const auto status = tokens.size() >= 2 ? parse_unsigned_decimal<std::uint16_t>(tokens[1]) : std::nullopt;
  if (!status) return tl::unexpected(fmt::format("unparseable status line {}", debug_quote(status_line)));
  parsed.status = *status;

  while (line_end != std::string_view::npos) {
    const std::size_t start = line_end + 2;
    line_end = head.find("\r\n", start);
    const std::string_view line = head.substr(start, line_end == std::string_view::npos ? head.npos : line_end - start);
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string name = ascii_lower(platform::trim_unicode(line.substr(0, colon)));
    const std::string_view value = platform::trim_unicode(line.substr(colon + 1));
    if (name == "content-length") {
      const auto length = parse_unsigned_decimal<std::uint64_t>(value);
      if (!length) return tl::unexpected(fmt::format("bad Content-Length {}", debug_quote(value)));
      parsed.content_length = *length;
    } else if (name == "transfer-encoding") {
      if (ascii_lower(value) == "chunked") parsed.chunked = true;
    } else if (name == "location") {
      parsed.location = std::string(value);
    } else if (name == "content-range") {
      parsed.content_range = std::string(value);
    } else if (name == "etag") {
      parsed.etag = std::string(value);
    } else if (name == "last-modified") {
      parsed.last_modified = std::string(value);
    }
  }
  return parsed;
}

}  // namespace fetch
