#include "update/records/version.hpp"

#include <array>
#include <limits>

namespace update {

namespace {

std::optional<std::uint32_t> parse_piece(std::string_view piece) {
  if (piece.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : piece) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
    if (value > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
  }
  return static_cast<std::uint32_t>(value);
}

}  // namespace

std::optional<Version> parse_version(std::string_view text) {
  const auto core = text.substr(0, text.find('+'));
  std::array<std::uint32_t, 3> parts{};
  std::size_t start = 0;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const auto dot = core.find('.', start);
    const bool last = i + 1 == parts.size();
    // The first two pieces end at a dot; the last one at the end, with no dot left.
    if (last != (dot == std::string_view::npos)) return std::nullopt;
    const auto piece = core.substr(start, last ? std::string_view::npos : dot - start);
    const auto value = parse_piece(piece);
    if (!value) return std::nullopt;
    parts[i] = *value;
    start = dot + 1;
  }
  return Version{parts[0], parts[1], parts[2]};
}

}  // namespace update
