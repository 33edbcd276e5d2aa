// The version pin, updates/pinned.json. Nothing in this program writes it;
// the release check only reads it and deletes it once a release has
// overtaken the pinned version. It neither holds an install back nor chooses
// another release.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <tl/expected.hpp>

#include "platform/path.hpp"
#include "update/error.hpp"
#include "update/json/json_codec.hpp"

namespace update {

struct Pin {
  // The pinned version.
  std::string version;
  // Read and not used.
  std::int64_t pinned_at_ms = 0;

  bool operator==(const Pin&) const = default;
};

// The pin in pinned.json, or none when the file is missing, cannot be read
// or is not a Pin.
std::optional<Pin> load_pin(const platform::Path& updates);

// Deletes pinned.json when it holds a pin whose version parses and is less
// than the release's version (which must parse too). Any other pin, or none,
// is left alone. A failure to delete is UpdateError::Io naming pinned.json.
tl::expected<void, UpdateError> drop_overtaken_pin(const platform::Path& updates,
                                                   std::string_view release_version);

namespace json {

template <>
struct Table<Pin> {
  static constexpr std::string_view name = "Pin";
  static constexpr std::array fields = {
      field<&Pin::version>("version"),
      field<&Pin::pinned_at_ms>("pinned_at_ms"),
  };
};

}  // namespace json

}  // namespace update
