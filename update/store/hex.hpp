// Bytes as lower-case hexadecimal text.
#pragma once

#include <string>

#include "platform/bytes.hpp"

namespace update {

// Two lower-case hexadecimal digits per byte, in order, no separator.
std::string hex_lower(platform::ByteView bytes);

}  // namespace update
