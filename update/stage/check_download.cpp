#include "update/stage/check_download.hpp"

#include "fetch/digest/sha256.hpp"

namespace update {

tl::expected<void, UpdateError> check_download(std::string_view name, platform::ByteView bytes,
                                               std::uint64_t expected_size, std::string_view expected_sha256) {
  if (bytes.size() != expected_size) {
    return tl::unexpected(UpdateError{UpdateError::SizeMismatch{std::string(name), expected_size, bytes.size()}});
  }
  std::string got = fetch::sha256_hex(bytes);
  if (got != expected_sha256) {
    return tl::unexpected(
        UpdateError{UpdateError::HashMismatch{std::string(name), std::string(expected_sha256), std::move(got)}});
  }
  return {};
}

}  // namespace update
