#include "update/journal/swap_journal.hpp"

#include "update/journal/journal_tables.hpp"
#include "update/store/updates_dir.hpp"
#include "update/store/write_atomic.hpp"

namespace update {

std::string_view swap_kind_text(SwapKind kind) {
  return json::Variants<SwapKind>::names[static_cast<std::size_t>(kind)];
}

std::string_view swap_step_text(SwapStep step) {
  return json::Variants<SwapStep>::names[static_cast<std::size_t>(step)];
}

tl::expected<std::string, JsonError> journal_json(const SwapJournal& journal) {
  return json::to_json(journal);
}

tl::expected<void, UpdateError> write_journal(const platform::Path& updates_dir,
                                              const SwapJournal& journal) {
  // An empty or partial journal would be unreadable and stop every later
  // run, so a record that cannot be written as JSON is never written at all.
  return write_json_atomic(journal_path(updates_dir), journal_json(journal));
}

}  // namespace update
