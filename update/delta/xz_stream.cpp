#include "update/delta/xz_stream.hpp"

#include <array>
#include <cstdint>
#include <memory>

#include <fmt/format.h>
#include <lzma.h>

namespace update {

namespace {

// Enough for every dictionary that xz can write (at most 1.5 GiB), so that no
// stream the publisher's tool makes is refused for memory; a header that asks
// for more (LZMA2 can name up to 4 GiB) is refused before anything is
// allocated for it.
constexpr std::uint64_t memory_limit = std::uint64_t{1600} << 20;

constexpr std::size_t piece_size = 64 * 1024;

// The decoder and its memory, ended on every path.
class StreamDecoder {
 public:
  StreamDecoder() = default;
  StreamDecoder(const StreamDecoder&) = delete;
  StreamDecoder& operator=(const StreamDecoder&) = delete;
  ~StreamDecoder() { lzma_end(&stream_); }

  lzma_stream* get() { return &stream_; }

 private:
  lzma_stream stream_ = LZMA_STREAM_INIT;
};

// An index read by xz_recorded_size, freed on every path.
struct IndexDeleter {
  void operator()(lzma_index* index) const { lzma_index_end(index, nullptr); }
};
using IndexHandle = std::unique_ptr<lzma_index, IndexDeleter>;

// An index needs about 16 bytes per block; this is enough for millions.
constexpr std::uint64_t index_memory_limit = std::uint64_t{64} << 20;

std::string code_text(lzma_ret code) {
  switch (code) {
    case LZMA_FORMAT_ERROR:
      return "not an xz stream";
    case LZMA_DATA_ERROR:
      return "the compressed data is corrupt";
    case LZMA_BUF_ERROR:
      return "the stream ends early";
    case LZMA_MEM_ERROR:
      return "the decoder ran out of memory";
    case LZMA_MEMLIMIT_ERROR:
      return "the stream needs more memory than the decoder allows";
    case LZMA_OPTIONS_ERROR:
      return "the stream uses options that the decoder does not support";
    case LZMA_UNSUPPORTED_CHECK:
      return "the stream's integrity check is of an unsupported type";
    case LZMA_PROG_ERROR:
      return "the decoder was used wrongly";
    default:
      return fmt::format("the decoder failed with code {}", static_cast<int>(code));
  }
}

// Only the checks that the program's decoder has always accepted pass; the
// other types are refused by name or by number.
tl::expected<void, std::string> accept_check(lzma_check check) {
  switch (check) {
    case LZMA_CHECK_NONE:
    case LZMA_CHECK_CRC32:
    case LZMA_CHECK_CRC64:
      return {};
    case LZMA_CHECK_SHA256:
      return tl::unexpected(
          std::string("the stream's integrity check is SHA-256; only none, CRC32 and CRC64 are accepted"));
    default:
      return tl::unexpected(
          fmt::format("the stream's integrity check has type {}; only none, CRC32 and CRC64 are accepted",
                      static_cast<int>(check)));
  }
}

}  // namespace

tl::expected<void, std::string> decode_xz_stream(platform::ByteView input, const XzSink& sink) {
  StreamDecoder decoder;
  lzma_stream* stream = decoder.get();
  // One stream only: without LZMA_CONCATENATED the decoder stops at the first
  // stream's footer and leaves whatever follows in the input.
  const lzma_ret init = lzma_stream_decoder(stream, memory_limit, LZMA_TELL_ANY_CHECK);
  if (init != LZMA_OK) return tl::unexpected(code_text(init));

  std::array<std::uint8_t, piece_size> piece;
  stream->next_in = input.data();
  stream->avail_in = input.size();
  stream->next_out = piece.data();
  stream->avail_out = piece.size();

  for (;;) {
    const lzma_ret code = lzma_code(stream, LZMA_FINISH);
    if (code != LZMA_OK && code != LZMA_STREAM_END && code != LZMA_GET_CHECK) {
      return tl::unexpected(code_text(code));
    }
    if (code == LZMA_GET_CHECK) {
      if (auto accepted = accept_check(lzma_get_check(stream)); !accepted) return accepted;
    }
    const std::size_t produced = piece.size() - stream->avail_out;
    if (produced > 0 && (stream->avail_out == 0 || code == LZMA_STREAM_END)) {
      if (auto taken = sink(platform::ByteView(piece.data(), produced)); !taken) {
        return tl::unexpected(taken.error().text());
      }
      stream->next_out = piece.data();
      stream->avail_out = piece.size();
    }
    if (code == LZMA_STREAM_END) break;
  }

  if (stream->avail_in != 0) {
    return tl::unexpected(std::string("data follows the end of the xz stream"));
  }
  return {};
}

std::optional<std::uint64_t> xz_recorded_size(platform::ByteView input) {
  // Every stream begins with a 12-byte header and ends with a 12-byte footer.
  if (input.size() < 2 * LZMA_STREAM_HEADER_SIZE) return std::nullopt;
  lzma_stream_flags footer;
  const std::uint8_t* footer_at = input.data() + input.size() - LZMA_STREAM_HEADER_SIZE;
  if (lzma_stream_footer_decode(&footer, footer_at) != LZMA_OK) return std::nullopt;
  if (footer.backward_size > input.size() - 2 * LZMA_STREAM_HEADER_SIZE) return std::nullopt;
  const std::uint8_t* index_at = footer_at - footer.backward_size;

  lzma_index* decoded = nullptr;
  std::uint64_t memory = index_memory_limit;
  std::size_t position = 0;
  const lzma_ret code = lzma_index_buffer_decode(&decoded, &memory, nullptr, index_at, &position,
                                                 static_cast<std::size_t>(footer.backward_size));
  IndexHandle index(decoded);
  if (code != LZMA_OK || position != footer.backward_size) return std::nullopt;
  return lzma_index_uncompressed_size(index.get());
}

}  // namespace update
