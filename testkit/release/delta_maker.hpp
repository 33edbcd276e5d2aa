// The release host's side of mvdiff1, for tests and the local channel: makes
// a patch from an old and a new file that reuses what the two share, so that
// a small change makes a small patch.
#pragma once

#include <functional>
#include <string>

#include <tl/expected.hpp>

#include "platform/bytes.hpp"

namespace testkit {

// Turns one decoded stream into one xz stream (xz_compress, typically).
using StreamCompressor = std::function<tl::expected<platform::Bytes, std::string>(platform::ByteView)>;

// A complete mvdiff1 patch that makes `new_bytes` from `old_bytes`, its three
// streams compressed by `compress`.
tl::expected<platform::Bytes, std::string> make_mvdiff1(platform::ByteView old_bytes,
                                                        platform::ByteView new_bytes,
                                                        const StreamCompressor& compress);

}  // namespace testkit
