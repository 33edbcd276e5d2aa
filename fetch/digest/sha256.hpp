// SHA-256 digests of files and byte buffers, written as 64 lower-case
// hexadecimal digits.
#pragma once

#include <string>

#include <tl/expected.hpp>

#include "fetch/error.hpp"
#include "fetch/progress.hpp"
#include "platform/bytes.hpp"
#include "platform/path.hpp"

namespace fetch {

// The digest of the file's whole content, read in pieces of 64 KiB. After
// each piece `progress` gets the bytes read so far and, as the total, the
// larger of the file's length (taken once, at the start; 0 when it cannot be
// learned) and the bytes so far; an empty file reports nothing. A false answer
// ends the call with FetchError::Cancelled; an open or read failure is
// FetchError::Io naming the path.
tl::expected<std::string, FetchError> sha256_file_hex(const platform::Path& path,
                                                      const ProgressFn& progress);

// The digest of the bytes.
std::string sha256_hex(platform::ByteView bytes);

}  // namespace fetch
