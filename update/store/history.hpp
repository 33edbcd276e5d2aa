// A release's record in updates/history/<version> (store/updates_dir.hpp's
// history_dir), written by one of two rules: the updater's, which survives a
// crash and reports what failed, and the installer's, which does neither.
#pragma once

#include <string_view>

#include <tl/expected.hpp>

#include "platform/bytes.hpp"
#include "platform/path.hpp"
#include "update/error.hpp"

namespace update {

// A release's record, its manifest bytes as release.json and its signature
// as release.json.sig, in history_dir of `version`.
//
// The updater's, after a swap: each file by write_atomic, which makes the
// folder; the first failure is returned.
tl::expected<void, UpdateError> write_history_atomically(const platform::Path& updates, std::string_view version,
                                                         platform::ByteView manifest_bytes,
                                                         platform::ByteView signature);
// The installer's, after a fresh install: the folder with every missing
// parent, then plain whole-file writes. Every failure is ignored: an
// installation works without its record, and the next update writes its own.
void write_history_best_effort(const platform::Path& updates, std::string_view version,
                               platform::ByteView manifest_bytes, platform::ByteView signature);

}  // namespace update
