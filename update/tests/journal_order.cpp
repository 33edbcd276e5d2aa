#include "update/tests/journal_order.hpp"

namespace journaltest {

namespace {

using testkit::file_faults::is_removal;
using testkit::file_faults::Operation;

platform::Path comparable(const std::string& text) {
  return platform::comparable_path(platform::path_from_utf8(text).lexically_normal());
}

bool is_rename(const Operation& operation) { return operation.what == "rename"; }
bool writes_journal(const Operation& operation, const platform::Path& journal) {
  return is_rename(operation) && comparable(operation.to) == journal;
}
bool is_journal_step(const Operation& operation, const platform::Path& journal) {
  return writes_journal(operation, journal) || (is_removal(operation) && comparable(operation.from) == journal);
}

}  // namespace

std::vector<std::string> late_changes(const std::vector<Operation>& timeline, const platform::Path& journal_path) {
  const platform::Path journal = comparable(platform::display(journal_path));
  std::vector<std::string> late;
  for (std::size_t at = 0; at < timeline.size(); ++at) {
    const Operation& operation = timeline[at];
    if (!is_rename(operation) && !is_removal(operation)) continue;
    const bool step = is_journal_step(operation, journal);
    std::size_t next = at + 1;
    for (; next < timeline.size(); ++next) {
      const Operation& later = timeline[next];
      if (later.what == "sync") continue;
      if (step || is_journal_step(later, journal)) break;
      if (is_rename(operation) && is_removal(later)) break;
    }
    if (!testkit::file_faults::on_disk_before(timeline, at, next)) late.push_back(operation.text());
  }
  return late;
}

Counted count_renames(const std::vector<Operation>& timeline, const platform::Path& journal_path) {
  const platform::Path journal = comparable(platform::display(journal_path));
  Counted counted;
  for (const Operation& operation : timeline) {
    if (!is_rename(operation)) continue;
    ++counted.renames;
    if (writes_journal(operation, journal)) ++counted.journal_writes;
  }
  return counted;
}

}  // namespace journaltest
