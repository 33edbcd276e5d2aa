#include "update/delta/mvdiff1.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "fetch/digest/sha256.hpp"
#include "testkit/release/mvdiff1_writer.hpp"
#include "testkit/xz_tool.hpp"

namespace {

using platform::Bytes;
using platform::ByteView;
using update::ControlTriple;

constexpr std::uint64_t u64_max = std::numeric_limits<std::uint64_t>::max();
constexpr std::int64_t i64_max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t i64_min = std::numeric_limits<std::int64_t>::min();

Bytes xz(ByteView data, std::string_view check = "crc64") {
  auto made = testkit::xz_compress(data, check);
  if (!made) throw std::runtime_error(made.error());
  return *made;
}

Bytes bytes_of(std::string_view text) { return platform::to_bytes(text); }

// The installed file: 0xF0, 0xF1, ... 0xFF.
Bytes installed() {
  Bytes old(16);
  for (std::size_t i = 0; i < old.size(); ++i) old[i] = static_cast<std::uint8_t>(0xF0 + i);
  return old;
}

update::FileEntry entry_for(std::uint64_t bytes, std::string sha256) {
  update::FileEntry entry;
  entry.path = "morvane.dll";
  entry.bytes = bytes;
  entry.sha256 = std::move(sha256);
  return entry;
}

update::FileEntry entry_for(ByteView made) { return entry_for(made.size(), fetch::sha256_hex(made)); }

std::array<std::uint8_t, 32> raw_digest(const std::string& hex) {
  std::array<std::uint8_t, 32> raw{};
  for (std::size_t i = 0; i < raw.size(); ++i) {
    raw[i] = static_cast<std::uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
  }
  return raw;
}

// A patch from `old` whose header names the entry's file (its digest and
// size), with the decoded streams compressed by the real xz.
Bytes hand_patch(ByteView old, const update::FileEntry& entry, ByteView control, ByteView diff, ByteView extra,
                 std::string_view check = "crc64") {
  return testkit::assemble_mvdiff1(testkit::raw_sha256(old), raw_digest(entry.sha256), entry.bytes,
                                   xz(control, check), xz(diff, check), xz(extra, check));
}

Bytes hand_patch(ByteView old, const update::FileEntry& entry, const std::vector<ControlTriple>& triples,
                 ByteView diff, ByteView extra) {
  return hand_patch(old, entry, testkit::encode_triples(triples), diff, extra);
}

std::string refusal(const tl::expected<Bytes, std::string>& result) {
  return result ? std::string("(applied)") : result.error();
}

void put_u64(Bytes& patch, std::size_t at, std::uint64_t value) {
  for (int i = 0; i < 8; ++i) patch[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// "morvane!" from the installed file: two bytes by adding (0x6D - 0xF0 and
// 0x6F - 0xF1, modulo 256), six from the extra stream.
struct ValidPatch {
  Bytes old = installed();
  Bytes made = bytes_of("morvane!");
  update::FileEntry entry = entry_for(made);
  Bytes patch =
      hand_patch(old, entry, std::vector<ControlTriple>{{2, 6, 0}}, Bytes{0x7D, 0x7E}, bytes_of("rvane!"));
};

TEST(Mvdiff1Header, ChecksComeInOrderBeforeAnyDecoding) {
  const ValidPatch valid;
  ASSERT_EQ(update::apply_mvdiff1(valid.old, valid.patch, valid.entry), valid.made);

  auto changed = [&](auto change) {
    Bytes patch = valid.patch;
    change(patch);
    return patch;
  };
  Bytes other_old = valid.old;
  other_old[3] ^= 1;
  std::string upper = valid.entry.sha256;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));

  struct Case {
    const char* name;
    Bytes patch;
    Bytes old;
    update::FileEntry entry;
    std::string text;
  };
  const std::vector<Case> cases = {
      {"103 bytes", Bytes(valid.patch.begin(), valid.patch.begin() + 103), valid.old, valid.entry,
       "not a MVDIFF1 delta"},
      {"eighth byte not zero", changed([](Bytes& p) { p[7] = '2'; }), valid.old, valid.entry, "not a MVDIFF1 delta"},
      {"first byte wrong", changed([](Bytes& p) { p[0] = 'm'; }), valid.old, valid.entry, "not a MVDIFF1 delta"},
      {"empty patch", Bytes{}, valid.old, valid.entry, "not a MVDIFF1 delta"},
      {"other installed bytes", valid.patch, other_old, valid.entry,
       "the delta was made from other bytes than the installed file"},
      // The source digest comes before everything the entry says.
      {"other installed bytes and other entry", valid.patch, other_old, entry_for(12, std::string(64, '0')),
       "the delta was made from other bytes than the installed file"},
      {"entry names another file", valid.patch, valid.old, entry_for(valid.made.size(), std::string(64, '0')),
       "the delta's target is not the file the signed manifest names"},
      {"entry digest in upper case", valid.patch, valid.old, entry_for(valid.made.size(), upper),
       "the delta's target is not the file the signed manifest names"},
      {"entry size differs", valid.patch, valid.old, entry_for(12, valid.entry.sha256),
       "the delta makes 8 bytes where the signed manifest says 12"},
      {"one byte after the extra stream", changed([](Bytes& p) { p.push_back(0); }), valid.old, valid.entry,
       "the delta's streams do not end where the patch does"},
      {"one byte short", changed([](Bytes& p) { p.pop_back(); }), valid.old, valid.entry,
       "the delta's streams do not end where the patch does"},
      {"header alone", Bytes(valid.patch.begin(), valid.patch.begin() + 104), valid.old, valid.entry,
       "the delta's streams do not end where the patch does"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(refusal(update::apply_mvdiff1(c.old, c.patch, c.entry)), c.text);
  }
}

TEST(Mvdiff1Header, SizeIsCheckedBeforeLengthsAndStreams) {
  // Target size 10 for an entry of 12, with lengths that overflow and
  // streams that are no xz at all: only the size is reported.
  const Bytes old = installed();
  const update::FileEntry entry = entry_for(12, fetch::sha256_hex(bytes_of("twelve bytes")));
  update::Mvdiff1Header header;
  header.source_sha256 = testkit::raw_sha256(old);
  header.target_sha256 = raw_digest(entry.sha256);
  header.target_size = 10;
  header.control_length = u64_max;
  header.diff_length = u64_max;
  header.extra_length = u64_max;
  Bytes patch = testkit::write_mvdiff1_header(header);
  patch.resize(patch.size() + 30, 0xAB);
  EXPECT_EQ(refusal(update::apply_mvdiff1(old, patch, entry)),
            "the delta makes 10 bytes where the signed manifest says 12");
}

TEST(Mvdiff1Header, LengthsThatOverflowAreStreamsLongerThanThePatch) {
  const ValidPatch valid;
  struct Case {
    std::uint64_t c, d, e;
    std::string text;
  };
  const std::vector<Case> cases = {
      {u64_max, 0, 0, "a stream longer than the patch"},
      {u64_max - 103, 0, 0, "a stream longer than the patch"},  // 104 + c is 2^64
      {u64_max - 104, 1, 0, "a stream longer than the patch"},  // 104 + c is 2^64 - 1, then + d
      {1, u64_max - 104, 0, "a stream longer than the patch"},
      {0, 0, u64_max - 103, "a stream longer than the patch"},
      {u64_max / 2, u64_max / 2, 2, "a stream longer than the patch"},
      // The largest sum that fits is merely the wrong length.
      {u64_max - 104, 0, 0, "the delta's streams do not end where the patch does"},
      {u64_max / 2 - 52, u64_max / 2 - 52, 1, "the delta's streams do not end where the patch does"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.c << " " << c.d << " " << c.e);
    Bytes patch = valid.patch;
    put_u64(patch, 80, c.c);
    put_u64(patch, 88, c.d);
    put_u64(patch, 96, c.e);
    EXPECT_EQ(refusal(update::apply_mvdiff1(valid.old, patch, valid.entry)), c.text);
  }
}

// Patches that make an 8-byte file, the entry's, from the installed file.
class Mvdiff1Streams : public testing::Test {
 protected:
  Bytes old = installed();
  update::FileEntry entry = entry_for(bytes_of("morvane!"));

  std::string apply(ByteView control, ByteView diff, ByteView extra) {
    return refusal(update::apply_mvdiff1(old, hand_patch(old, entry, control, diff, extra), entry));
  }
};

TEST_F(Mvdiff1Streams, ControlStreamMustBeWholeTriplesWithinItsBound) {
  const std::size_t bound = (entry.bytes + 1) * 24;
  // Whole triples up to the bound decode; these make nothing, which is
  // refused only at the end.
  EXPECT_EQ(apply(Bytes(bound, 0), {}, {}),
            "the delta does not make exactly the signed file from exactly its own streams");
  EXPECT_EQ(apply(Bytes(bound + 1, 0), {}, {}), "the delta's control stream does not decode: past its bound");
  EXPECT_EQ(apply(Bytes(25, 0), {}, {}), "the control stream is not whole triples");
  EXPECT_EQ(apply(Bytes(23, 0), {}, {}), "the control stream is not whole triples");
}

TEST_F(Mvdiff1Streams, DiffAndExtraMayDecodeToTheSignedSizeAndNoMore) {
  const Bytes made = bytes_of("morvane!");
  Bytes diff(8);
  for (std::size_t i = 0; i < 8; ++i) diff[i] = static_cast<std::uint8_t>(made[i] - old[i]);
  const Bytes control_add = testkit::encode_triples(std::vector<ControlTriple>{{8, 0, 0}});
  const Bytes control_copy = testkit::encode_triples(std::vector<ControlTriple>{{0, 8, 0}});

  EXPECT_EQ(apply(control_add, diff, {}), "(applied)");
  Bytes longer_diff = diff;
  longer_diff.push_back(0);
  EXPECT_EQ(apply(control_add, longer_diff, {}), "the delta's diff stream does not decode: past its bound");

  EXPECT_EQ(apply(control_copy, {}, made), "(applied)");
  EXPECT_EQ(apply(control_copy, {}, bytes_of("morvane!!")),
            "the delta's extra stream does not decode: past its bound");
  // Streams decode in the order control, diff, extra.
  EXPECT_EQ(apply(Bytes(1000, 0), longer_diff, bytes_of("morvane!!")),
            "the delta's control stream does not decode: past its bound");
  EXPECT_EQ(apply(control_copy, longer_diff, bytes_of("morvane!!")),
            "the delta's diff stream does not decode: past its bound");
}

TEST_F(Mvdiff1Streams, StreamsThatAreNotXzAreNamed) {
  const Bytes control = xz(testkit::encode_triples(std::vector<ControlTriple>{{0, 8, 0}}));
  const Bytes extra = xz(bytes_of("morvane!"));
  const Bytes not_xz = bytes_of("not compressed");
  auto patch_of = [&](ByteView c, ByteView d, ByteView e) {
    return testkit::assemble_mvdiff1(testkit::raw_sha256(old), raw_digest(entry.sha256), 8, c, d, e);
  };
  EXPECT_EQ(refusal(update::apply_mvdiff1(old, patch_of(not_xz, xz({}), extra), entry)),
            "the delta's control stream does not decode: not an xz stream");
  EXPECT_EQ(refusal(update::apply_mvdiff1(old, patch_of(control, {}, extra), entry)),
            "the delta's diff stream does not decode: the stream ends early");
  Bytes two_streams = extra;
  two_streams.insert(two_streams.end(), extra.begin(), extra.end());
  EXPECT_EQ(refusal(update::apply_mvdiff1(old, patch_of(control, xz({}), two_streams), entry)),
            "the delta's extra stream does not decode: data follows the end of the xz stream");
}

TEST_F(Mvdiff1Streams, StreamsMayUseEveryAcceptedCheckButNotSha256) {
  const Bytes control = testkit::encode_triples(std::vector<ControlTriple>{{0, 8, 0}});
  for (const char* check : {"crc64", "crc32", "none"}) {
    SCOPED_TRACE(check);
    const Bytes patch = hand_patch(old, entry, control, {}, bytes_of("morvane!"), check);
    EXPECT_EQ(refusal(update::apply_mvdiff1(old, patch, entry)), "(applied)");
  }
  const Bytes patch = hand_patch(old, entry, control, {}, bytes_of("morvane!"), "sha256");
  EXPECT_EQ(refusal(update::apply_mvdiff1(old, patch, entry)),
            "the delta's control stream does not decode: the stream's integrity check is SHA-256; only none, "
            "CRC32 and CRC64 are accepted");
}

// Triples against the installed 0xF0..0xFF, each case with its streams.
struct TripleCase {
  const char* name;
  std::vector<ControlTriple> triples;
  Bytes diff;
  Bytes extra;
  // The file the patch should make; none for a refusal of a patch meant to
  // make "morvane!".
  std::optional<Bytes> made;
  std::string text;
};

void run_triple_cases(const std::vector<TripleCase>& cases) {
  const Bytes old = installed();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const update::FileEntry entry = entry_for(c.made ? *c.made : bytes_of("morvane!"));
    const auto result = update::apply_mvdiff1(old, hand_patch(old, entry, c.triples, c.diff, c.extra), entry);
    if (c.made) {
      ASSERT_TRUE(result) << result.error();
      EXPECT_EQ(*result, *c.made);
    } else {
      EXPECT_EQ(refusal(result), c.text);
    }
  }
}

TEST(Mvdiff1Triples, MakeTheFile) {
  run_triple_cases({
      {"diff byte 0x20 on old byte 0xF0 makes 0x10", {{1, 0, 0}}, {0x20}, {}, Bytes{0x10}, ""},
      {"the extra stream alone", {{0, 8, 0}}, {}, bytes_of("morvane!"), bytes_of("morvane!"), ""},
      {"(0, 0, 0) changes nothing", {{0, 0, 0}, {0, 3, 0}, {0, 0, 0}, {0, 0, 0}}, {}, bytes_of("abc"),
       bytes_of("abc"), ""},
      // add moves the old position before seek does: 0 + 2 + 3 = 5, then 5 + 1 - 6 = 0.
      {"seeks forward and back", {{2, 1, 3}, {1, 0, -6}, {1, 0, 0}}, {0, 0, 1, 2}, bytes_of("x"),
       Bytes{0xF0, 0xF1, 'x', 0xF6, 0xF2}, ""},
      {"a negative position is fine while nothing is added",
       {{0, 0, -3}, {0, 2, 0}, {0, 0, 3}, {2, 0, 0}},
       {0, 1},
       bytes_of("xy"),
       Bytes{'x', 'y', 0xF0, 0xF2},
       ""},
      {"no triples make the empty file", {}, {}, {}, Bytes{}, ""},
      {"the last old byte", {{0, 0, 15}, {1, 0, 0}}, {0}, {}, Bytes{0xFF}, ""},
  });
}

TEST(Mvdiff1Triples, RefuseInTheirOrder) {
  const Bytes eight = bytes_of("morvane!");
  run_triple_cases({
      {"one byte past the size", {{0, 9, 0}}, {}, eight, std::nullopt, "the delta writes past the signed size"},
      {"past the size after some output", {{0, 4, 0}, {0, 5, 0}}, {}, eight, std::nullopt,
       "the delta writes past the signed size"},
      {"add + copy overflows", {{1, u64_max, 0}}, {0}, eight, std::nullopt,
       "the delta writes past the signed size"},
      {"output + add overflows", {{0, 1, 0}, {u64_max, 0, 0}}, {}, eight, std::nullopt,
       "the delta writes past the signed size"},
      // The size check comes before the position check.
      {"past the size at a negative position", {{0, 0, -1}, {9, 0, 0}}, {}, eight, std::nullopt,
       "the delta writes past the signed size"},
      {"adding at a negative position", {{0, 0, -1}, {0, 4, 0}, {1, 0, 0}}, {0}, bytes_of("morv"), std::nullopt,
       "the delta reads before the start of the installed file"},
      {"adding at i64 min", {{0, 0, i64_min}, {1, 0, 0}}, {0}, {}, std::nullopt,
       "the delta reads before the start of the installed file"},
      {"past the installed file", {{0, 0, 10}, {7, 0, 0}}, Bytes(7, 0), {}, std::nullopt,
       "the delta reads past the installed file or its diff stream"},
      {"far past the installed file", {{0, 0, i64_max}, {1, 0, 0}}, {0}, {}, std::nullopt,
       "the delta reads past the installed file or its diff stream"},
      {"past the diff stream", {{3, 0, 0}}, {0, 0}, {}, std::nullopt,
       "the delta reads past the installed file or its diff stream"},
      {"past the diff stream later", {{2, 0, 0}, {2, 0, 0}}, {0, 0, 0}, {}, std::nullopt,
       "the delta reads past the installed file or its diff stream"},
      {"past the extra stream", {{0, 3, 0}}, {}, bytes_of("mo"), std::nullopt,
       "the delta reads past its extra stream"},
      {"past the extra stream after adding", {{2, 3, 0}}, {0, 0}, bytes_of("mo"), std::nullopt,
       "the delta reads past its extra stream"},
      {"position overflows upward", {{0, 0, i64_max}, {0, 0, 1}}, {}, {}, std::nullopt,
       "the delta's position overflows"},
      {"position overflows downward", {{0, 0, i64_min}, {0, 0, -1}}, {}, {}, std::nullopt,
       "the delta's position overflows"},
      {"add then seek overflows", {{0, 0, 8}, {8, 0, i64_max}}, Bytes(8, 0), {}, std::nullopt,
       "the delta's position overflows"},
      {"too little output", {{0, 7, 0}}, {}, bytes_of("morvane"), std::nullopt,
       "the delta does not make exactly the signed file from exactly its own streams"},
      {"no triples", {}, {}, {}, std::nullopt,
       "the delta does not make exactly the signed file from exactly its own streams"},
      {"a diff byte left over", {{0, 8, 0}}, {0}, eight, std::nullopt,
       "the delta does not make exactly the signed file from exactly its own streams"},
      {"an extra byte left over", {{1, 7, 0}}, {0x7D}, eight, std::nullopt,
       "the delta does not make exactly the signed file from exactly its own streams"},
      {"eight bytes of another file", {{0, 8, 0}}, {}, bytes_of("Morvane!"), std::nullopt,
       "the delta's result does not hash to the signed file"},
  });
}

// Long additions go eight bytes at a time: every pair of old and diff bytes,
// at an odd offset, across the pieces in which they are added and with a
// short tail, must still add byte by byte modulo 256.
TEST(Mvdiff1Triples, LongAdditionsAddEveryPairOfBytes) {
  // The first 65,536 bytes hold every pair; twice that and a tail of 11 make
  // two triples that each cross a piece.
  constexpr std::size_t length = 2 * 256 * 256 + 11;
  Bytes old(3 + length);
  Bytes diff(length);
  for (std::size_t i = 0; i < old.size(); ++i) old[i] = static_cast<std::uint8_t>(i - 3);
  for (std::size_t i = 0; i < diff.size(); ++i) diff[i] = static_cast<std::uint8_t>(i >> 8);
  Bytes made(diff.size());
  for (std::size_t i = 0; i < made.size(); ++i) made[i] = static_cast<std::uint8_t>(old[3 + i] + diff[i]);

  const update::FileEntry entry = entry_for(made);
  // 3 bytes in, 70,001 bytes, then the other 61,082.
  const std::vector<ControlTriple> triples = {{0, 0, 3}, {70001, 0, 0}, {diff.size() - 70001, 0, 0}};
  const auto result = update::apply_mvdiff1(old, hand_patch(old, entry, triples, diff, {}), entry);
  ASSERT_TRUE(result) << result.error();
  EXPECT_EQ(*result, made);
}

// Signed sizes far beyond the patch: the bounds saturate instead of
// wrapping, and nothing is allocated for the size the patch cannot reach.
TEST(Mvdiff1Triples, HugeSignedSizesAreRefusedWithoutOverflow) {
  const Bytes old = installed();
  struct Case {
    std::uint64_t size;
    std::vector<ControlTriple> triples;
    Bytes diff;
    std::string text;
  };
  const std::vector<Case> cases = {
      // (2^61 + 1) * 24 wraps to 24; saturated, two triples are well within it.
      {std::uint64_t{1} << 61, {{0, 0, 0}, {0, 0, 0}}, {},
       "the delta does not make exactly the signed file from exactly its own streams"},
      // size + 1 wraps to 0.
      {u64_max, {{0, 0, 0}}, {}, "the delta does not make exactly the signed file from exactly its own streams"},
      // old_pos + add passes 2^64.
      {u64_max, {{0, 0, i64_max}, {(std::uint64_t{1} << 63) + 1, 0, 0}}, {0},
       "the delta reads past the installed file or its diff stream"},
      {u64_max, {{0, 1, 0}}, {}, "the delta reads past its extra stream"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    const update::FileEntry entry = entry_for(c.size, fetch::sha256_hex(bytes_of("somewhere")));
    const Bytes patch = hand_patch(old, entry, testkit::encode_triples(c.triples), c.diff, {});
    EXPECT_EQ(refusal(update::apply_mvdiff1(old, patch, entry)), c.text);
  }
}

TEST(Mvdiff1Stream, DecodesUpToItsBound) {
  const Bytes data = bytes_of("0123456789");
  const Bytes stream = xz(data);
  struct Case {
    std::uint64_t bound;
    bool decodes;
  };
  for (const auto& c : std::vector<Case>{{10, true}, {u64_max, true}, {9, false}, {0, false}}) {
    SCOPED_TRACE(c.bound);
    const auto result = update::decode_delta_stream(stream, c.bound, "diff");
    if (c.decodes) {
      ASSERT_TRUE(result) << result.error();
      EXPECT_EQ(*result, data);
    } else {
      EXPECT_EQ(refusal(result), "the delta's diff stream does not decode: past its bound");
    }
  }
  const auto empty = update::decode_delta_stream(xz({}), 0, "extra");
  ASSERT_TRUE(empty) << empty.error();
  EXPECT_TRUE(empty->empty());
}

TEST(Mvdiff1Stream, StopsALargeStreamAtItsBound) {
  // 64 MiB of zeros compress to a few kilobytes; a bound of 1 MiB stops the
  // decoding long before the whole is decoded.
  const Bytes stream = xz(Bytes(64 << 20, 0));
  ASSERT_LT(stream.size(), 64u << 10);
  EXPECT_EQ(refusal(update::decode_delta_stream(stream, 1 << 20, "control")),
            "the delta's control stream does not decode: past its bound");
}

}  // namespace
