// The version of the product that is installed, from its executable.
#pragma once

#include <optional>
#include <string>

#include "platform/bytes.hpp"
#include "platform/path.hpp"

namespace setup {

// The "major.minor.patch" of a version resource's root block (the fixed file
// info): the high and the low 16 bits of dwFileVersionMS and the high 16 bits
// of dwFileVersionLS, in decimal. Nothing for a block shorter than the 52
// bytes of a VS_FIXEDFILEINFO. Neither the signature nor the product version
// is looked at.
std::optional<std::string> version_from_root_block(platform::ByteView block);

// The version of the install folder's morvane.exe: nothing when that is not
// a regular file, has no version resource, or its block is too short.
std::optional<std::string> read_installed_version(const platform::Path& install_dir);

}  // namespace setup
