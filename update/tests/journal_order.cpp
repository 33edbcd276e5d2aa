#include "update/tests/journal_order.hpp"

namespace journaltest {

namespace {

using testkit::file_faults::Operation;

platform::Path comparable(const std::string& text) {
  return platform::comparable_path(platform::path_from_utf8(text).lexically_normal());
}

bool is_rename(const Operation& operation) { return operation.what == "rename"; }
bool is_removal(const Operation& operation) {
  return operation.what == "unlink" || operation.what == "unlinkat" || operation.what == "remove";
}
bool writes_journal(const Operation& operation, const platform::Path& journal) {
  return is_rename(operation) && comparable(operation.to) == journal;
}

}  // namespace

std::vector<std::string> late_renames(const std::vector<Operation>& timeline, const platform::Path& journal_path) {
  const platform::Path journal = comparable(platform::display(journal_path));
  std::vector<std::string> late;
  for (std::size_t at = 0; at < timeline.size(); ++at) {
    if (!is_rename(timeline[at])) continue;
    const bool is_journal = writes_journal(timeline[at], journal);
    std::size_t next = at + 1;
    for (; next < timeline.size(); ++next) {
      const Operation& later = timeline[next];
      if (later.what == "sync") continue;
      if (is_journal || is_removal(later) || writes_journal(later, journal)) break;
    }
    if (!testkit::file_faults::on_disk_before(timeline, at, next)) late.push_back(timeline[at].text());
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
