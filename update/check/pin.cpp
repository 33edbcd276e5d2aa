#include "update/check/pin.hpp"

#include "platform/fs.hpp"
#include "update/records/version.hpp"
#include "update/store/updates_dir.hpp"

namespace update {

std::optional<Pin> load_pin(const platform::Path& updates) {
  const auto bytes = platform::read_file(pin_path(updates));
  if (!bytes) return std::nullopt;
  auto pin = json::parse_json<Pin>(*bytes);
  if (!pin) return std::nullopt;
  return std::move(*pin);
}

tl::expected<void, UpdateError> drop_overtaken_pin(const platform::Path& updates,
                                                   std::string_view release_version) {
  const auto pin = load_pin(updates);
  if (!pin) return {};
  const auto pinned = parse_version(pin->version);
  const auto release = parse_version(release_version);
  if (!pinned || !release || !(*release > *pinned)) return {};
  const platform::Path path = pin_path(updates);
  if (!path_exists(path)) return {};
  if (auto removed = platform::remove_file(path); !removed) {
    return tl::unexpected(io_error_at(path, removed.error()));
  }
  return {};
}

}  // namespace update
