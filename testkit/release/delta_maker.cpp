#include "testkit/release/delta_maker.hpp"

#include <cstring>
#include <optional>
#include <unordered_map>
#include <vector>

#include "testkit/release/mvdiff1_writer.hpp"

namespace testkit {

namespace {

// Matches are seeded by blocks of this many bytes that old and new share
// exactly; only old blocks at multiples of it are indexed.
constexpr std::size_t block = 32;
// A match grows forward through mismatching bytes (they become non-zero diff
// bytes) until the mismatches outnumber the matches since its best point by
// this much.
constexpr long give_up_after = 64;

constexpr std::uint64_t hash_base = 0x100000001b3;

// A stretch of new bytes made from old bytes at the same offsets, exactly or
// with a few differences.
struct Match {
  std::size_t new_start = 0;
  std::size_t old_start = 0;
  std::size_t length = 0;
};

std::uint64_t block_hash(const std::uint8_t* at) {
  std::uint64_t hash = 0;
  for (std::size_t i = 0; i < block; ++i) hash = hash * hash_base + at[i];
  return hash;
}

// hash_base to the power block - 1: the weight of a block's first byte.
std::uint64_t first_byte_weight() {
  std::uint64_t weight = 1;
  for (std::size_t i = 1; i < block; ++i) weight *= hash_base;
  return weight;
}

// How far a match that starts at old[o], new[n] is worth taking: the length
// at which (matching bytes - mismatching bytes) peaks.
std::size_t extend_forward(platform::ByteView old_bytes, std::size_t o, platform::ByteView new_bytes,
                           std::size_t n) {
  std::size_t best_length = 0;
  long best_score = 0;
  long score = 0;
  for (std::size_t i = 0; o + i < old_bytes.size() && n + i < new_bytes.size(); ++i) {
    score += old_bytes[o + i] == new_bytes[n + i] ? 1 : -1;
    if (score > best_score) {
      best_score = score;
      best_length = i + 1;
    } else if (score < best_score - give_up_after) {
      break;
    }
  }
  return best_length;
}

std::vector<Match> find_matches(platform::ByteView old_bytes, platform::ByteView new_bytes) {
  std::vector<Match> matches;
  if (old_bytes.size() < block || new_bytes.size() < block) return matches;

  std::unordered_map<std::uint64_t, std::size_t> index;
  index.reserve(old_bytes.size() / block);
  for (std::size_t p = 0; p + block <= old_bytes.size(); p += block) {
    index.try_emplace(block_hash(old_bytes.data() + p), p);
  }

  const std::uint64_t weight = first_byte_weight();
  auto same_block = [&](std::size_t o, std::size_t n) {
    return o + block <= old_bytes.size() &&
           std::memcmp(old_bytes.data() + o, new_bytes.data() + n, block) == 0;
  };

  std::size_t covered = 0;  // new bytes before this belong to a match
  std::size_t pos = 0;
  std::uint64_t hash = block_hash(new_bytes.data());
  while (pos + block <= new_bytes.size()) {
    std::optional<std::size_t> found;
    // Going on where the last match left off is the likeliest match of all.
    if (!matches.empty()) {
      const Match& last = matches.back();
      const std::size_t expected = last.old_start + last.length + (pos - covered);
      if (same_block(expected, pos)) found = expected;
    }
    if (!found) {
      if (auto hit = index.find(hash); hit != index.end() && same_block(hit->second, pos))
        found = hit->second;
    }
    if (found) {
      std::size_t o = *found;
      std::size_t n = pos;
      while (n > covered && o > 0 && new_bytes[n - 1] == old_bytes[o - 1]) --n, --o;
      const std::size_t length = extend_forward(old_bytes, o, new_bytes, n);
      matches.push_back({n, o, length});
      covered = n + length;
      pos = covered;
      if (pos + block <= new_bytes.size()) hash = block_hash(new_bytes.data() + pos);
      continue;
    }
    if (pos + block < new_bytes.size())
      hash = (hash - new_bytes[pos] * weight) * hash_base + new_bytes[pos + block];
    ++pos;
  }
  return matches;
}

}  // namespace

tl::expected<platform::Bytes, std::string> make_mvdiff1(platform::ByteView old_bytes,
                                                        platform::ByteView new_bytes,
                                                        const StreamCompressor& compress) {
  const std::vector<Match> matches = find_matches(old_bytes, new_bytes);

  std::vector<update::ControlTriple> triples;
  platform::Bytes diff;
  platform::Bytes extra;
  auto append_extra = [&](std::size_t from, std::size_t to) {
    extra.insert(extra.end(), new_bytes.begin() + static_cast<std::ptrdiff_t>(from),
                 new_bytes.begin() + static_cast<std::ptrdiff_t>(to));
  };

  // New bytes in front of the first match come from the extra stream alone;
  // the same triple moves to the first match's old bytes.
  const std::size_t first_new = matches.empty() ? new_bytes.size() : matches.front().new_start;
  const std::size_t first_old = matches.empty() ? 0 : matches.front().old_start;
  if (first_new > 0 || first_old > 0) {
    triples.push_back({0, first_new, static_cast<std::int64_t>(first_old)});
    append_extra(0, first_new);
  }

  for (std::size_t k = 0; k < matches.size(); ++k) {
    const Match& match = matches[k];
    for (std::size_t i = 0; i < match.length; ++i) {
      diff.push_back(
          static_cast<std::uint8_t>(new_bytes[match.new_start + i] - old_bytes[match.old_start + i]));
    }
    const std::size_t match_end = match.new_start + match.length;
    const bool last = k + 1 == matches.size();
    const std::size_t gap_end = last ? new_bytes.size() : matches[k + 1].new_start;
    const std::size_t old_end = match.old_start + match.length;
    const std::size_t next_old = last ? old_end : matches[k + 1].old_start;
    triples.push_back({match.length, gap_end - match_end,
                       static_cast<std::int64_t>(next_old) - static_cast<std::int64_t>(old_end)});
    append_extra(match_end, gap_end);
  }

  const platform::Bytes control = encode_triples(triples);
  auto control_xz = compress(control);
  if (!control_xz) return tl::unexpected(control_xz.error());
  auto diff_xz = compress(diff);
  if (!diff_xz) return tl::unexpected(diff_xz.error());
  auto extra_xz = compress(extra);
  if (!extra_xz) return tl::unexpected(extra_xz.error());
  return assemble_mvdiff1(raw_sha256(old_bytes), raw_sha256(new_bytes), new_bytes.size(), *control_xz,
                          *diff_xz, *extra_xz);
}

}  // namespace testkit
