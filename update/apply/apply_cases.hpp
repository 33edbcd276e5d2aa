// The two ways a staged release moves in (apply_cases.cpp). Used by
// apply_staged only.
#pragma once

#include <string_view>
#include <vector>

#include <tl/expected.hpp>

#include "platform/path.hpp"
#include "update/error.hpp"
#include "update/journal/swap_journal.hpp"
#include "update/swap/move_triple.hpp"

namespace update::apply {

struct ApplyPlan {
  const platform::Path& updates_dir;
  const platform::Path& install_dir;
  std::string_view version;
  platform::Path pending;
  MoveTriple exe;  // the executable's target, aside and incoming
  std::vector<Companion> companions;
};

// The executable has a staged copy: rollback record, stale asides, then
// every move under the journal, then the forward finish. From the first
// journal write on, a failure undoes nothing and leaves the journal for the
// next run's repair.
tl::expected<void, UpdateError> apply_with_journal(const ApplyPlan& plan, std::string_view replaced_version);

// The executable was kept: each companion moves (its stale aside removed
// first); a failure moves back those already moved, and the one that failed
// half way, and is returned. No journal, no rollback record.
tl::expected<void, UpdateError> apply_companions_only(const ApplyPlan& plan);

}  // namespace update::apply
