// Versions as MAJOR.MINOR.PATCH, compared part by part; a build label after a
// plus sign is no part of the version.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string_view>

namespace update {

struct Version {
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t patch = 0;

  auto operator<=>(const Version&) const = default;
};

// The version of a text such as "1.2.3" or "1.2.3+build": before the first
// "+", exactly three pieces separated by ".", each one or more ASCII digits
// with a value of at most 2^32 - 1 (leading zeros allowed). Anything else is
// none.
std::optional<Version> parse_version(std::string_view text);

}  // namespace update
