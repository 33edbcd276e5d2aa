#include "update/delta/xz_stream.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "testkit/xz_tool.hpp"
#include "update/delta/mvdiff1.hpp"

namespace {

using platform::Bytes;
using platform::ByteView;

Bytes sample(std::size_t size) {
  Bytes bytes(size);
  std::uint32_t state = 12345;
  for (std::size_t i = 0; i < size; ++i) {
    state = state * 1103515245 + 12345;
    // Half text-like, half noise, so that the stream has real work to do.
    bytes[i] = (i / 4096) % 2 == 0 ? static_cast<std::uint8_t>('a' + i % 23)
                                   : static_cast<std::uint8_t>(state >> 16);
  }
  return bytes;
}

Bytes xz(ByteView data, std::string_view check = "crc64", const std::vector<std::string>& options = {}) {
  auto made = testkit::xz_compress(data, check, options);
  if (!made) throw std::runtime_error(made.error());
  return *made;
}

// Decodes into a buffer and notes the size of every piece the sink got.
struct Collected {
  tl::expected<void, std::string> result;
  Bytes output;
  std::vector<std::size_t> pieces;
};

Collected decode(ByteView input) {
  Collected got;
  got.result = update::decode_xz_stream(input, [&](ByteView piece) -> tl::expected<void, platform::IoError> {
    got.pieces.push_back(piece.size());
    got.output.insert(got.output.end(), piece.begin(), piece.end());
    return {};
  });
  return got;
}

std::string error_of(const Collected& got) { return got.result ? std::string("(decoded)") : got.result.error(); }

TEST(XzStream, DecodesTheChecksThatAreAccepted) {
  const Bytes data = sample(200 * 1024);
  for (const char* check : {"crc64", "crc32", "none"}) {
    SCOPED_TRACE(check);
    const Collected got = decode(xz(data, check));
    ASSERT_TRUE(got.result) << got.result.error();
    EXPECT_EQ(got.output, data);
  }
}

TEST(XzStream, RefusesSha256BeforeDecodingAnything) {
  const Collected got = decode(xz(sample(300 * 1024), "sha256"));
  EXPECT_EQ(error_of(got), "the stream's integrity check is SHA-256; only none, CRC32 and CRC64 are accepted");
  EXPECT_TRUE(got.pieces.empty());
}

TEST(XzStream, PushesLargeOutputInBoundedPiecesInOrder) {
  // Several blocks, and more output than one piece holds.
  const Bytes data = sample(1024 * 1024 + 17);
  const Collected got = decode(xz(data, "crc64", {"--block-size=100KiB"}));
  ASSERT_TRUE(got.result) << got.result.error();
  EXPECT_EQ(got.output, data);
  ASSERT_GT(got.pieces.size(), 1u);
  for (const std::size_t piece : got.pieces) {
    EXPECT_GT(piece, 0u);
    EXPECT_LE(piece, 64u * 1024);
  }
}

TEST(XzStream, DecodesAnEmptyStream) {
  const Collected got = decode(xz(ByteView{}));
  ASSERT_TRUE(got.result) << got.result.error();
  EXPECT_TRUE(got.output.empty());
  EXPECT_TRUE(got.pieces.empty());
}

TEST(XzStream, RefusesWhatIsNotOneWholeStream) {
  const Bytes data = sample(50 * 1024);
  const Bytes stream = xz(data);
  auto with = [&](auto change) {
    Bytes bytes = stream;
    change(bytes);
    return bytes;
  };
  const Bytes second = xz(platform::byte_view("a second stream"));

  struct Case {
    const char* name;
    Bytes input;
    std::string text;
  };
  const std::vector<Case> cases = {
      {"two concatenated streams", with([&](Bytes& b) { b.insert(b.end(), second.begin(), second.end()); }),
       "data follows the end of the xz stream"},
      {"stream padding", with([](Bytes& b) { b.insert(b.end(), 4, 0); }), "data follows the end of the xz stream"},
      {"one byte of garbage", with([](Bytes& b) { b.push_back('!'); }), "data follows the end of the xz stream"},
      {"last byte cut", with([](Bytes& b) { b.pop_back(); }), "the stream ends early"},
      {"cut in half", with([](Bytes& b) { b.resize(b.size() / 2); }), "the stream ends early"},
      {"header only", with([](Bytes& b) { b.resize(12); }), "the stream ends early"},
      {"empty input", Bytes{}, "the stream ends early"},
      {"not xz at all", platform::to_bytes("plain text, no stream header here"), "not an xz stream"},
      {"payload byte flipped", with([](Bytes& b) { b[b.size() / 2] ^= 0x01; }), "the compressed data is corrupt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(error_of(decode(c.input)), c.text);
  }
}

TEST(XzStream, ASinkRefusalEndsTheDecodingWithItsText) {
  const Bytes stream = xz(sample(400 * 1024));
  int calls = 0;
  const auto result = update::decode_xz_stream(stream, [&](ByteView) -> tl::expected<void, platform::IoError> {
    ++calls;
    return tl::unexpected(platform::IoError::custom(platform::ErrorKind::Other, "past its bound"));
  });
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error(), "past its bound");
  EXPECT_EQ(calls, 1);
}

// CRC-32 as the xz format uses it (the IEEE polynomial, reflected).
std::uint32_t crc32(ByteView bytes) {
  std::uint32_t crc = 0xFFFFFFFF;
  for (const std::uint8_t byte : bytes) {
    crc ^= byte;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320 & (0u - (crc & 1)));
  }
  return ~crc;
}

// The stream with its one block's LZMA2 dictionary size byte replaced; the
// block header's CRC-32 is made to match, so only the size is different.
Bytes with_dictionary_byte(Bytes stream, std::uint8_t dictionary) {
  const std::size_t block = 12;  // after the stream header
  const std::size_t header_size = (stream[block] + 1) * 4;
  // Block flags 0 (one filter, no sizes), then filter 0x21 with one byte of properties.
  if (header_size != 12 || stream[block + 1] != 0 || stream[block + 2] != 0x21 || stream[block + 3] != 1) {
    throw std::runtime_error("unexpected block header");
  }
  stream[block + 4] = dictionary;
  const std::uint32_t crc = crc32(ByteView(stream).subspan(block, header_size - 4));
  for (int i = 0; i < 4; ++i) stream[block + header_size - 4 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
  return stream;
}

TEST(XzStream, AcceptsEveryDictionaryXzCanWriteAndRefusesLarger) {
  const Bytes data = sample(1000);
  const Bytes stream = xz(data);
  // 37 is 1.5 GiB, xz's largest; 38 is 2 GiB and 40 is the format's 4 GiB - 1.
  const Collected largest = decode(with_dictionary_byte(stream, 37));
  ASSERT_TRUE(largest.result) << largest.result.error();
  EXPECT_EQ(largest.output, data);
  for (const std::uint8_t dictionary : {38, 40}) {
    SCOPED_TRACE(dictionary);
    EXPECT_EQ(error_of(decode(with_dictionary_byte(stream, dictionary))),
              "the stream needs more memory than the decoder allows");
  }
}

TEST(XzRecordedSize, IsWhatTheIndexRecords) {
  struct Case {
    const char* name;
    Bytes data;
    std::vector<std::string> options;
  };
  const std::vector<Case> cases = {
      {"one block", sample(300 * 1024), {}},
      {"several blocks", sample(1024 * 1024 + 17), {"--block-size=100KiB"}},
      {"nothing", Bytes{}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(update::xz_recorded_size(xz(c.data, "crc64", c.options)), c.data.size());
  }
}

TEST(XzRecordedSize, IsNoneWithoutAFooterAndIndexAtTheEnd) {
  const Bytes stream = xz(sample(50 * 1024));
  auto with = [&](auto change) {
    Bytes bytes = stream;
    change(bytes);
    return bytes;
  };
  struct Case {
    const char* name;
    Bytes input;
  };
  const std::vector<Case> cases = {
      {"stream padding after it", with([](Bytes& b) { b.insert(b.end(), 4, 0); })},
      {"last byte cut", with([](Bytes& b) { b.pop_back(); })},
      {"index byte flipped", with([](Bytes& b) { b[b.size() - 14] ^= 0x01; })},
      {"footer only", with([](Bytes& b) { b.erase(b.begin(), b.end() - 12); })},
      {"empty input", Bytes{}},
      {"not xz at all", platform::to_bytes("plain text, no stream footer here")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(update::xz_recorded_size(c.input), std::nullopt);
  }
}

// The stream of "0123456789" with its index claiming another decoded size,
// the index's CRC-32 made to match: a one-block index is eight bytes in front
// of the footer (indicator, record count, unpadded size, decoded size, CRC).
Bytes with_index_claiming(std::uint8_t claimed) {
  Bytes stream = xz(platform::byte_view("0123456789"));
  const std::size_t index = stream.size() - 12 - 8;
  if (stream[index] != 0 || stream[index + 1] != 1 || stream[index + 3] != 10) {
    throw std::runtime_error("unexpected index");
  }
  stream[index + 3] = claimed;
  const std::uint32_t crc = crc32(ByteView(stream).subspan(index, 4));
  for (int i = 0; i < 4; ++i) stream[index + 4 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
  return stream;
}

// The recorded size only says how much to reserve: an index that claims more
// or less than the blocks make is refused by the decoder, whatever the bound.
TEST(XzRecordedSize, AnIndexThatLiesIsRefusedWhenDecoded) {
  for (const std::uint8_t claimed : {9, 11, 127}) {
    SCOPED_TRACE(int(claimed));
    const Bytes stream = with_index_claiming(claimed);
    EXPECT_EQ(update::xz_recorded_size(stream), claimed);
    EXPECT_EQ(error_of(decode(stream)), "the compressed data is corrupt");
    for (const std::uint64_t bound : {std::uint64_t{10}, std::uint64_t{50}, std::uint64_t{1} << 40}) {
      const auto decoded = update::decode_delta_stream(stream, bound, "diff");
      EXPECT_EQ(decoded ? std::string("(decoded)") : decoded.error(),
                "the delta's diff stream does not decode: the compressed data is corrupt");
    }
  }
}

}  // namespace
