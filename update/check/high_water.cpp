#include "update/check/high_water.hpp"

#include "platform/fs.hpp"
#include "update/store/updates_dir.hpp"
#include "update/store/write_atomic.hpp"

namespace update {

std::int64_t load_high_water(const platform::Path& updates) {
  const auto bytes = platform::read_file(high_water_path(updates));
  if (!bytes) return 0;
  const auto mark = json::parse_json<HighWater>(*bytes);
  if (!mark) return 0;
  return mark->issued_at_ms;
}

tl::expected<std::string, JsonError> high_water_json(const HighWater& mark) { return json::to_json(mark); }

tl::expected<void, UpdateError> store_high_water(const platform::Path& updates, const HighWater& mark) {
  if (auto made = ensure_updates_dir(updates); !made) return tl::unexpected(std::move(made.error()));
  return write_json_atomic(high_water_path(updates), high_water_json(mark));
}

}  // namespace update
