// The high-water mark, updates/highwater.json: the issue time of the newest
// manifest this installation has ever accepted. A manifest issued earlier is
// a replay. The mark only rises.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include <tl/expected.hpp>

#include "platform/path.hpp"
#include "update/error.hpp"
#include "update/json/json_codec.hpp"
#include "update/json/json_error.hpp"

namespace update {

struct HighWater {
  // The issued_at_ms of the newest manifest ever accepted.
  std::int64_t issued_at_ms = 0;
  // That manifest's version.
  std::string version;
  // When the record was written (now_ms).
  std::int64_t recorded_at_ms = 0;

  bool operator==(const HighWater&) const = default;
};

// The stored issued_at_ms, or 0 when highwater.json is missing, cannot be
// read or is not a HighWater.
std::int64_t load_high_water(const platform::Path& updates);

// The record as it is written: pretty-printed, keys in declared order, no
// line feed after the closing brace. Fails only for a version that is not
// valid UTF-8.
tl::expected<std::string, JsonError> high_water_json(const HighWater& mark);

// Creates the updates folder if need be and replaces highwater.json with the
// record (write_atomic).
tl::expected<void, UpdateError> store_high_water(const platform::Path& updates, const HighWater& mark);

namespace json {

template <>
struct Table<HighWater> {
  static constexpr std::string_view name = "HighWater";
  static constexpr std::array fields = {
      field<&HighWater::issued_at_ms>("issued_at_ms"),
      field<&HighWater::version>("version"),
      field<&HighWater::recorded_at_ms>("recorded_at_ms"),
  };
};

}  // namespace json

}  // namespace update
