// One xz stream, decoded from memory into a sink.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include <tl/expected.hpp>

#include "platform/bytes.hpp"
#include "platform/io_error.hpp"

namespace update {

// Takes each piece of decoded output in order. An error ends the decoding;
// its text becomes the decoder's error text.
using XzSink = std::function<tl::expected<void, platform::IoError>(platform::ByteView)>;

// Decodes exactly one xz stream (stream header, blocks, index, stream footer)
// that fills `input`, pushing the output to `sink` in pieces of at most 64 KiB.
// Refused, with a short text: input that is not one complete, valid xz stream;
// anything after the stream's footer (stream padding and a second stream
// included); an integrity check other than none, CRC32 or CRC64, before any
// block is decoded. Output pushed before a failure is not taken back: the
// caller throws it away.
tl::expected<void, std::string> decode_xz_stream(platform::ByteView input, const XzSink& sink);

// The decoded size that the index at the end of `input` records for the one
// stream there, read from the stream footer and the index alone; none when
// either cannot be read. Nothing is decoded and nothing is checked against
// the blocks, so the number is a size to reserve for, never one to trust:
// decode_xz_stream refuses a stream whose blocks disagree with its index.
std::optional<std::uint64_t> xz_recorded_size(platform::ByteView input);

}  // namespace update
