// mvdiff1 patches: rebuilding a release's file from the installed copy.
//
// A patch is a 104-byte header followed by three xz streams (control, diff,
// extra). The control stream decodes to triples; each adds `add` diff bytes to
// as many old bytes, copies `copy` bytes of the extra stream, then moves the
// old position by `add` + `seek`. All integers are little-endian.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <tl/expected.hpp>

#include "platform/bytes.hpp"
#include "update/records/manifest.hpp"

namespace update {

inline constexpr std::size_t mvdiff1_header_size = 104;
inline constexpr std::size_t mvdiff1_triple_size = 24;
// "MVDIFF1" and a zero byte.
inline constexpr std::array<std::uint8_t, 8> mvdiff1_magic = {'M', 'V', 'D', 'I', 'F', 'F', '1', 0};

struct Mvdiff1Header {
  std::array<std::uint8_t, 32> source_sha256{};  // raw digest of the file it starts from
  std::array<std::uint8_t, 32> target_sha256{};  // raw digest of the file it makes
  std::uint64_t target_size = 0;
  std::uint64_t control_length = 0;  // compressed sizes of the three streams
  std::uint64_t diff_length = 0;
  std::uint64_t extra_length = 0;
};

struct ControlTriple {
  std::uint64_t add = 0;
  std::uint64_t copy = 0;
  std::int64_t seek = 0;
};

// The header, or none when the patch is shorter than a header or does not
// begin with the magic.
std::optional<Mvdiff1Header> read_mvdiff1_header(platform::ByteView patch);

// One triple from its 24 bytes.
ControlTriple read_control_triple(platform::ByteView bytes);

// Decodes one xz stream whose output may grow to `bound` bytes and no further;
// on failure the text "the delta's {name} stream does not decode: {why}".
tl::expected<platform::Bytes, std::string> decode_delta_stream(platform::ByteView compressed,
                                                               std::uint64_t bound, std::string_view name);

// The file that the patch makes from the installed bytes `old`, checked
// against the entry's `bytes` and `sha256`, or the reason why the patch cannot
// be used. Writes nothing anywhere.
tl::expected<platform::Bytes, std::string> apply_mvdiff1(platform::ByteView old, platform::ByteView patch,
                                                         const FileEntry& entry);

// The same for installed bytes whose SHA-256 the caller has computed already
// (64 lower-case hex digits, as sha256_hex writes it): `old_sha256` is
// compared with the patch's source digest instead of hashing `old` again.
tl::expected<platform::Bytes, std::string> apply_mvdiff1(platform::ByteView old, std::string_view old_sha256,
                                                         platform::ByteView patch, const FileEntry& entry);

}  // namespace update
