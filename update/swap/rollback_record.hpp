// The rollback record, updates/rollback.json: which build a swap replaced
// (or parked), with the size and SHA-256 of its executable and of each of its
// companions. Nothing in this program reads it back; the product's own
// programs share the updates folder and may.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <tl/expected.hpp>

#include "platform/path.hpp"
#include "update/error.hpp"
#include "update/json/json_error.hpp"

namespace update {

struct RollbackEntry {
  std::string file;  // the last component of the companion's path, one trailing ".old" removed
  std::uint64_t bytes = 0;
  std::string sha256;

  bool operator==(const RollbackEntry&) const = default;
};

struct RollbackRecord {
  std::string version;  // the recorded build's version, as the caller names it
  std::string file;     // the last component of the executable's path
  std::uint64_t bytes = 0;
  std::string sha256;
  std::int64_t recorded_at_ms = 0;
  std::vector<RollbackEntry> companions;

  bool operator==(const RollbackRecord&) const = default;
};

// The record as it is written: pretty-printed like the swap journal, no
// newline at the end. Fails only for text that is not valid UTF-8.
tl::expected<std::string, JsonError> rollback_json(const RollbackRecord& record);

// The file's size (read before hashing) and SHA-256. A failure is
// UpdateError::Io naming the path.
tl::expected<std::pair<std::uint64_t, std::string>, UpdateError> hash_file_with_size(const platform::Path& path);

// Hashes every companion and then the executable, and only then writes the
// record through write_atomic (the updates folder made first), so that a file
// that cannot be hashed leaves the previous record untouched. Gives the record
// written.
tl::expected<RollbackRecord, UpdateError> write_rollback(const platform::Path& updates_dir,
                                                         const platform::Path& exe,
                                                         std::string_view version,
                                                         const std::vector<platform::Path>& companions);

}  // namespace update
