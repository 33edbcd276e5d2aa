// Unsigned decimal numbers as URLs and HTTP heads write them: an optional
// leading plus sign, then one or more ASCII digits, nothing else, within the
// type's range.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

namespace fetch {

template <class T>
std::optional<T> parse_unsigned_decimal(std::string_view text) {
  static_assert(std::numeric_limits<T>::is_integer && !std::numeric_limits<T>::is_signed);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  T value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const T digit = static_cast<T>(c - '0');
    if (value > (std::numeric_limits<T>::max() - digit) / 10) return std::nullopt;
    value = static_cast<T>(value * 10 + digit);
  }
  return value;
}

}  // namespace fetch
