// The setup page as the program carries it: setup/page/setup.html with
// setup.css and setup.js joined in, compressed at build time into one xz stream (LZMA2, CRC32 check) that is compiled into
// the executable, and decoded each time a web view is given the page.
#pragma once

#include <string>

#include <tl/expected.hpp>

#include "platform/bytes.hpp"

namespace setup {

// The stored xz stream, as the build wrote it. Lives for the whole program.
platform::ByteView embedded_page_xz();

// Decodes one xz stream into page text. Refused, with a short text: input
// that is not exactly one complete xz stream (nothing may follow it), a
// stream whose integrity check is not CRC32, a CRC32 that does not match,
// and text that is not valid UTF-8.
tl::expected<std::string, std::string> decode_page_stream(platform::ByteView xz);

// The page's UTF-8 text, decoded from embedded_page_xz(); the same text as
// the joined page byte for byte. A failure means the executable is damaged.
tl::expected<std::string, std::string> decode_embedded_page();

}  // namespace setup
