#include "update/journal/read_journal.hpp"

#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>

#include "platform/fs.hpp"
#include "update/journal/journal_tables.hpp"
#include "update/store/updates_dir.hpp"

namespace update {

namespace {

// The path's components, without the empty one that a trailing separator
// leaves.
std::vector<platform::Path> components(const platform::Path& path) {
  std::vector<platform::Path> parts;
  for (const auto& part : path) {
    if (!part.empty()) parts.push_back(part);
  }
  return parts;
}

bool begins_with(const std::vector<platform::Path>& path, const platform::Path& folder) {
  const auto prefix = components(folder);
  if (prefix.empty() || prefix.size() > path.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (path[i] != prefix[i]) return false;
  }
  return true;
}

UpdateError outside(const platform::Path& journal, std::string path, const std::string& write_set) {
  return {UpdateError::OutsideWriteSet{platform::display(journal), std::move(path), write_set}};
}

}  // namespace

bool in_write_set(const platform::Path& path, const platform::Path& install_dir,
                  const platform::Path& updates_dir) {
  // Compared as the system compares paths: a journal that another program
  // wrote with other letter case (on Windows) names the same files.
  const auto parts = components(platform::comparable_path(path));
  for (const auto& part : parts) {
    if (part == "..") return false;
  }
  return begins_with(parts, platform::comparable_path(install_dir)) ||
         begins_with(parts, platform::comparable_path(updates_dir));
}

tl::expected<std::optional<SwapJournal>, UpdateError> read_swap_journal(const platform::Path& install_dir,
                                                                        const platform::Path& updates_dir) {
  const platform::Path path = journal_path(updates_dir);
  if (!path_exists(path)) return std::nullopt;

  const auto bytes = platform::read_file(path);
  if (!bytes) return tl::unexpected(io_error_at(path, bytes.error()));

  const std::string write_set =
      fmt::format("{} and {}", platform::display(install_dir), platform::display(updates_dir));

  auto journal = json::parse_json<SwapJournal>(*bytes);
  if (!journal) {
    return tl::unexpected(outside(path, fmt::format("<unreadable: {}>", journal.error().display()), write_set));
  }

  // Every path that a replay may move, remove or create, in the order the
  // replay meets them.
  std::vector<const std::string*> paths = {&journal->target, &journal->aside, &journal->incoming};
  if (journal->park) paths.push_back(&*journal->park);
  for (const Companion& companion : journal->companions) {
    paths.insert(paths.end(), {&companion.target, &companion.aside, &companion.incoming});
    if (companion.park) paths.push_back(&*companion.park);
  }
  for (const std::string* text : paths) {
    if (!in_write_set(platform::path_from_utf8(*text), install_dir, updates_dir)) {
      return tl::unexpected(outside(path, *text, write_set));
    }
  }

  // A forward finish removes updates/pending/<version>, so the version must
  // name a folder there and nothing else.
  const platform::Path pending = pending_dir(updates_dir, journal->version);
  if (!is_plain_folder_name(journal->version) || !in_write_set(pending, install_dir, updates_dir)) {
    return tl::unexpected(outside(path, platform::display(pending), write_set));
  }

  return std::optional<SwapJournal>(std::move(*journal));
}

}  // namespace update
