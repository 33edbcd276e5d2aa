#include "update/delta/mvdiff1.hpp"

#include <algorithm>
#include <cstring>
#include <limits>

#include <fmt/format.h>

#include "fetch/digest/sha256.hpp"
#include "update/delta/xz_stream.hpp"
#include "update/store/hex.hpp"

namespace update {

namespace {

constexpr std::uint64_t u64_max = std::numeric_limits<std::uint64_t>::max();

std::uint64_t read_u64(const std::uint8_t* at) {
  std::uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = (value << 8) | at[i];
  return value;
}

// (size + 1) * 24, held at the largest value instead of wrapping.
std::uint64_t control_bound(std::uint64_t size) {
  const std::uint64_t count = size == u64_max ? u64_max : size + 1;
  return count > u64_max / mvdiff1_triple_size ? u64_max : count * mvdiff1_triple_size;
}

tl::unexpected<std::string> refuse(std::string_view text) { return tl::unexpected(std::string(text)); }

// LZMA2 makes no more than about 7,000 bytes of one compressed byte (long
// runs of one byte); this leaves room.
constexpr std::uint64_t max_expansion = 16384;

// What to reserve for a stream's output, so that decoding it never moves
// what it has decoded: the size its index records, when that is within the
// bound and within what the compressed bytes can make. An index that claims
// more is not believed and costs nothing; the output then grows as it
// decodes, and the decoder refuses the stream anyway.
std::size_t reservation(platform::ByteView compressed, std::uint64_t bound) {
  const auto recorded = xz_recorded_size(compressed);
  if (!recorded || *recorded > bound) return 0;
  if (compressed.size() < u64_max / max_expansion && *recorded > compressed.size() * max_expansion) return 0;
  return static_cast<std::size_t>(*recorded);
}

// out[i] += old[i] modulo 256 for i < n, eight bytes at a time: the low seven
// bits of each byte are added without a carry into the next byte, and the top
// bit is their sum's top bit.
void add_old_bytes(std::uint8_t* out, const std::uint8_t* old, std::size_t n) {
  constexpr std::uint64_t top_bits = 0x8080808080808080u;
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t a = 0;
    std::uint64_t b = 0;
    std::memcpy(&a, out + i, 8);
    std::memcpy(&b, old + i, 8);
    const std::uint64_t sum = ((a & ~top_bits) + (b & ~top_bits)) ^ ((a ^ b) & top_bits);
    std::memcpy(out + i, &sum, 8);
  }
  for (; i < n; ++i) out[i] = static_cast<std::uint8_t>(out[i] + old[i]);
}

// Diff bytes are added to old bytes in pieces of this many, each piece
// copied into the output and added to while it is still in the cache.
constexpr std::size_t add_piece = 64 * 1024;

}  // namespace

std::optional<Mvdiff1Header> read_mvdiff1_header(platform::ByteView patch) {
  if (patch.size() < mvdiff1_header_size) return std::nullopt;
  if (!std::equal(mvdiff1_magic.begin(), mvdiff1_magic.end(), patch.begin())) return std::nullopt;
  Mvdiff1Header header;
  std::memcpy(header.source_sha256.data(), patch.data() + 8, 32);
  std::memcpy(header.target_sha256.data(), patch.data() + 40, 32);
  header.target_size = read_u64(patch.data() + 72);
  header.control_length = read_u64(patch.data() + 80);
  header.diff_length = read_u64(patch.data() + 88);
  header.extra_length = read_u64(patch.data() + 96);
  return header;
}

ControlTriple read_control_triple(platform::ByteView bytes) {
  return ControlTriple{read_u64(bytes.data()), read_u64(bytes.data() + 8),
                       static_cast<std::int64_t>(read_u64(bytes.data() + 16))};
}

tl::expected<platform::Bytes, std::string> decode_delta_stream(platform::ByteView compressed,
                                                               std::uint64_t bound, std::string_view name) {
  platform::Bytes output;
  output.reserve(reservation(compressed, bound));
  auto bounded = [&](platform::ByteView piece) -> tl::expected<void, platform::IoError> {
    if (piece.size() > bound - output.size()) {
      return tl::unexpected(platform::IoError::custom(platform::ErrorKind::Other, "past its bound"));
    }
    output.insert(output.end(), piece.begin(), piece.end());
    return {};
  };
  if (auto decoded = decode_xz_stream(compressed, bounded); !decoded) {
    return tl::unexpected(fmt::format("the delta's {} stream does not decode: {}", name, decoded.error()));
  }
  return output;
}

tl::expected<platform::Bytes, std::string> apply_mvdiff1(platform::ByteView old, platform::ByteView patch,
                                                         const FileEntry& entry) {
  // The magic is tested before the old bytes are hashed.
  if (!read_mvdiff1_header(patch)) return refuse("not a MVDIFF1 delta");
  return apply_mvdiff1(old, fetch::sha256_hex(old), patch, entry);
}

tl::expected<platform::Bytes, std::string> apply_mvdiff1(platform::ByteView old, std::string_view old_sha256,
                                                         platform::ByteView patch, const FileEntry& entry) {
  const auto header = read_mvdiff1_header(patch);
  if (!header) return refuse("not a MVDIFF1 delta");
  if (hex_lower(header->source_sha256) != old_sha256) {
    return refuse("the delta was made from other bytes than the installed file");
  }
  if (hex_lower(header->target_sha256) != entry.sha256) {
    return refuse("the delta's target is not the file the signed manifest names");
  }
  if (header->target_size != entry.bytes) {
    return tl::unexpected(fmt::format("the delta makes {} bytes where the signed manifest says {}",
                                      header->target_size, entry.bytes));
  }
  const std::uint64_t size = entry.bytes;

  std::uint64_t total = mvdiff1_header_size;
  for (const std::uint64_t length : {header->control_length, header->diff_length, header->extra_length}) {
    if (length > u64_max - total) return refuse("a stream longer than the patch");
    total += length;
  }
  if (total != patch.size()) return refuse("the delta's streams do not end where the patch does");

  // Every length fits the patch now, which is in memory.
  const auto control_at = patch.subspan(mvdiff1_header_size, header->control_length);
  const auto diff_at = patch.subspan(mvdiff1_header_size + control_at.size(), header->diff_length);
  const auto extra_at = patch.subspan(mvdiff1_header_size + control_at.size() + diff_at.size());
  auto control = decode_delta_stream(control_at, control_bound(size), "control");
  if (!control) return tl::unexpected(std::move(control.error()));
  auto diff = decode_delta_stream(diff_at, size, "diff");
  if (!diff) return tl::unexpected(std::move(diff.error()));
  auto extra = decode_delta_stream(extra_at, size, "extra");
  if (!extra) return tl::unexpected(std::move(extra.error()));
  if (control->size() % mvdiff1_triple_size != 0) return refuse("the control stream is not whole triples");

  // Every output byte comes from the diff or the extra stream, so a patch
  // that could reach the signed size needs no more than this; a larger
  // signed size cannot be met and is never allocated for.
  platform::Bytes output;
  output.reserve(std::min<std::uint64_t>(size, diff->size() + extra->size()));
  std::int64_t old_pos = 0;
  std::uint64_t diff_pos = 0;
  std::uint64_t extra_pos = 0;

  const platform::ByteView triples(*control);
  for (std::size_t at = 0; at < triples.size(); at += mvdiff1_triple_size) {
    const ControlTriple triple = read_control_triple(triples.subspan(at, mvdiff1_triple_size));

    std::uint64_t made = 0;
    if (__builtin_add_overflow(output.size(), triple.add, &made) ||
        __builtin_add_overflow(made, triple.copy, &made) || made > size) {
      return refuse("the delta writes past the signed size");
    }

    if (triple.add > 0) {
      if (old_pos < 0) return refuse("the delta reads before the start of the installed file");
      const auto from = static_cast<std::uint64_t>(old_pos);
      std::uint64_t old_end = 0;
      if (__builtin_add_overflow(from, triple.add, &old_end) || old_end > old.size() ||
          triple.add > diff->size() - diff_pos) {
        return refuse("the delta reads past the installed file or its diff stream");
      }
      const std::uint8_t* old_bytes = old.data() + from;
      const std::uint8_t* diff_bytes = diff->data() + diff_pos;
      for (std::uint64_t done = 0; done < triple.add;) {
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(add_piece, triple.add - done));
        const std::size_t start = output.size();
        output.insert(output.end(), diff_bytes + done, diff_bytes + done + piece);
        add_old_bytes(output.data() + start, old_bytes + done, piece);
        done += piece;
      }
      diff_pos += triple.add;
    }

    if (triple.copy > extra->size() - extra_pos) return refuse("the delta reads past its extra stream");
    const auto copy_from = extra->begin() + static_cast<std::ptrdiff_t>(extra_pos);
    output.insert(output.end(), copy_from, copy_from + static_cast<std::ptrdiff_t>(triple.copy));
    extra_pos += triple.copy;

    if (__builtin_add_overflow(old_pos, triple.add, &old_pos) ||
        __builtin_add_overflow(old_pos, triple.seek, &old_pos)) {
      return refuse("the delta's position overflows");
    }
  }

  if (output.size() != size || diff_pos != diff->size() || extra_pos != extra->size()) {
    return refuse("the delta does not make exactly the signed file from exactly its own streams");
  }
  if (fetch::sha256_hex(output) != entry.sha256)
    return refuse("the delta's result does not hash to the signed file");
  return output;
}

}  // namespace update
