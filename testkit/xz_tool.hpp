// xz streams made by the real xz tool, for tests that must decode what the
// publisher's tool writes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <tl/expected.hpp>

#include "platform/bytes.hpp"

namespace testkit {

// One xz stream of `data`, from `xz --format=xz --check=<check>` with any
// further options (such as "-0" or "--lzma2=dict=4KiB"). `check` is one of
// xz's names: "none", "crc32", "crc64", "sha256".
tl::expected<platform::Bytes, std::string> xz_compress(platform::ByteView data,
                                                       std::string_view check = "crc64",
                                                       const std::vector<std::string>& options = {});

}  // namespace testkit
