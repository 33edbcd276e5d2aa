// The end of a swap, once every file has gone forward or back.
#pragma once

#include <tl/expected.hpp>

#include "platform/path.hpp"
#include "update/error.hpp"
#include "update/journal/swap_journal.hpp"

namespace update {

enum class SwapDirection { Forward, Back };

// Forward: the aside files of the executable and of each companion that has
// a park go to their park (replacing what is there) and, when the
// executable's park then exists, rollback.json records the parked build; an
// apply swap's updates/pending/<version> is removed. In both directions the
// journal is removed last, so a stop anywhere before leaves it for the next
// run. Backward nothing else is removed: the pending folder keeps the staged
// files that went back into it.
tl::expected<void, UpdateError> finish_swap(const platform::Path& updates_dir, const SwapJournal& journal,
                                            SwapDirection direction);

}  // namespace update
