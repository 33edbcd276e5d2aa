#include "update/swap/rollback_record.hpp"

#include <array>

#include "fetch/digest/sha256.hpp"
#include "fetch/progress.hpp"
#include "platform/fs.hpp"
#include "update/json/json_codec.hpp"
#include "update/own_file_names.hpp"
#include "update/store/clock.hpp"
#include "update/store/updates_dir.hpp"
#include "update/store/write_atomic.hpp"

namespace update::json {

template <>
struct Table<RollbackEntry> {
  static constexpr std::string_view name = "RollbackEntry";
  static constexpr std::array fields = {
      field<&RollbackEntry::file>("file"),
      field<&RollbackEntry::bytes>("bytes"),
      field<&RollbackEntry::sha256>("sha256"),
  };
};

template <>
struct Table<RollbackRecord> {
  static constexpr std::string_view name = "RollbackRecord";
  static constexpr std::array fields = {
      field<&RollbackRecord::version>("version"),
      field<&RollbackRecord::file>("file"),
      field<&RollbackRecord::bytes>("bytes"),
      field<&RollbackRecord::sha256>("sha256"),
      field<&RollbackRecord::recorded_at_ms>("recorded_at_ms"),
      field<&RollbackRecord::companions>("companions"),
  };
};

}  // namespace update::json

namespace update {

namespace {

std::string last_component(const platform::Path& path) { return platform::display(path.filename()); }

std::string without_aside_suffix(std::string name) {
  if (name.ends_with(aside_suffix)) name.erase(name.size() - aside_suffix.size());
  return name;
}

}  // namespace

tl::expected<std::string, JsonError> rollback_json(const RollbackRecord& record) {
  return json::to_json(record);
}

tl::expected<std::pair<std::uint64_t, std::string>, UpdateError> hash_file_with_size(const platform::Path& path) {
  const auto meta = platform::metadata(path);
  if (!meta) return tl::unexpected(io_error_at(path, meta.error()));
  auto digest = fetch::sha256_file_hex(path, fetch::always_continue());
  if (!digest) {
    return tl::unexpected(UpdateError{UpdateError::Io{platform::display(path), fetch::format_fetch_error(digest.error())}});
  }
  return std::pair{meta->size, std::move(*digest)};
}

tl::expected<RollbackRecord, UpdateError> write_rollback(const platform::Path& updates_dir,
                                                         const platform::Path& exe,
                                                         std::string_view version,
                                                         const std::vector<platform::Path>& companions) {
  RollbackRecord record;
  for (const platform::Path& companion : companions) {
    auto hashed = hash_file_with_size(companion);
    if (!hashed) return tl::unexpected(std::move(hashed.error()));
    record.companions.push_back(
        {without_aside_suffix(last_component(companion)), hashed->first, std::move(hashed->second)});
  }

  auto hashed = hash_file_with_size(exe);
  if (!hashed) return tl::unexpected(std::move(hashed.error()));
  record.version = std::string(version);
  record.file = last_component(exe);
  record.bytes = hashed->first;
  record.sha256 = std::move(hashed->second);
  record.recorded_at_ms = static_cast<std::int64_t>(now_ms());

  if (auto made = ensure_updates_dir(updates_dir); !made) return tl::unexpected(std::move(made.error()));

  if (auto written = write_json_atomic(rollback_path(updates_dir), rollback_json(record)); !written) {
    return tl::unexpected(std::move(written.error()));
  }
  return record;
}

}  // namespace update
