// Byte buffers as the whole program passes them around.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

inline ByteView byte_view(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

inline std::string_view text_view(ByteView bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

inline Bytes to_bytes(std::string_view text) {
  auto view = byte_view(text);
  return Bytes(view.begin(), view.end());
}

inline std::string to_string(ByteView bytes) { return std::string(text_view(bytes)); }

}  // namespace platform
