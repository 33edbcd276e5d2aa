#include "setup/page/embedded_page.hpp"

#include <array>
#include <cstdint>

#include <fmt/format.h>

#include "platform/text.hpp"
#include "update/delta/xz_stream.hpp"

namespace setup {

namespace {

// An xz stream header: six magic bytes, then two flag bytes whose second
// names the integrity check (1 is CRC32).
constexpr std::array<std::uint8_t, 6> xz_magic = {0xFD, '7', 'z', 'X', 'Z', 0x00};
constexpr std::size_t check_flag_at = 7;
constexpr std::uint8_t check_crc32 = 0x01;

bool names_another_check(platform::ByteView xz) {
  if (xz.size() <= check_flag_at) return false;  // too short: the decoder says why
  for (std::size_t i = 0; i < xz_magic.size(); ++i) {
    if (xz[i] != xz_magic[i]) return false;  // not xz at all: the decoder says so
  }
  return xz[check_flag_at] != check_crc32;
}

}  // namespace

tl::expected<std::string, std::string> decode_page_stream(platform::ByteView xz) {
  // The build always writes a CRC32 check; a stream without one would decode
  // unverified, so it is refused before any decoding.
  if (names_another_check(xz)) {
    return tl::unexpected(std::string("the setup page's xz stream does not carry a CRC32 check"));
  }
  std::string page;
  auto decoded = update::decode_xz_stream(
      xz, [&page](platform::ByteView piece) -> tl::expected<void, platform::IoError> {
        page.append(platform::text_view(piece));
        return {};
      });
  if (!decoded) {
    return tl::unexpected(fmt::format("the setup page could not be decoded: {}", decoded.error()));
  }
  if (!platform::is_valid_utf8(page)) {
    return tl::unexpected(std::string("the setup page is not valid UTF-8"));
  }
  return page;
}

tl::expected<std::string, std::string> decode_embedded_page() {
  return decode_page_stream(embedded_page_xz());
}

}  // namespace setup
