// The version resource of an executable.
#pragma once

#include <optional>

#include "platform/bytes.hpp"
#include "platform/path.hpp"

namespace platform {

// The root block of the file's version resource (what VerQueryValueW with
// "\" points at: the VS_FIXEDFILEINFO, as many bytes as the resource gives
// it), or nothing when the file has no version resource, cannot be read or
// is no executable. On Windows this is GetFileVersionInfoSizeW,
// GetFileVersionInfoW and VerQueryValueW; elsewhere the PE file is read
// directly, with the same answers.
std::optional<Bytes> version_root_block(const Path& path);

}  // namespace platform
