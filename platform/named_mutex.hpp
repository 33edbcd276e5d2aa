// Named mutexes shared between processes of the same user.
//
// On Windows these are kernel mutexes (CreateMutexW / OpenMutexW). Here each
// name is a lock file in a per-user runtime folder, held with flock(2): the
// kernel lets go of it when the holder ends, so a crashed holder never leaves
// a name claimed.
#pragma once

#include <string_view>

namespace platform {

// Claims the name for the rest of the process. True when this call made the
// process its owner; false when the name already exists, in another process
// or in this one (a second claim answers false), or when the claim failed.
bool claim_named_mutex(std::string_view name);

// True when some process holds the name (OpenMutexW with SYNCHRONIZE gives a
// handle). Every failure counts as not held. Nothing is kept open.
bool named_mutex_exists(std::string_view name);

}  // namespace platform
