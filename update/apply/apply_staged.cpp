#include "update/apply/apply_staged.hpp"

#include <fmt/format.h>

#include "platform/fs.hpp"
#include "update/apply/apply_cases.hpp"
#include "update/apply/companion_plan.hpp"
#include "update/own_file_names.hpp"
#include "update/stage/verify_staged.hpp"
#include "update/store/file_moves.hpp"
#include "update/store/history.hpp"
#include "update/store/updates_dir.hpp"

namespace update {

tl::expected<void, UpdateError> apply_staged(const platform::Path& updates_dir, const platform::Path& install_dir,
                                             const VerifiedRelease& release,
                                             const std::optional<std::string>& replaced_version) {
  const ReleaseManifest& manifest = release.manifest;
  const platform::Path pending = pending_dir(updates_dir, manifest.version);
  if (find_file_entry(manifest.files, exe_file_name) == nullptr) {
    return tl::unexpected(UpdateError{UpdateError::Unusable{
        platform::display(pending),
        fmt::format("the verified manifest for {} does not list {}, so there is nothing here to swap for the "
                    "running binary",
                    manifest.version, exe_file_name)}});
  }
  // The installer has checked these files already, but they are checked
  // again here, just before the first one moves: the pending folder lies in
  // the user's own profile, where anything may change it in between, and
  // from the journal on a swap is never undone, only completed or replayed.
  // What moves in must be the signed bytes, whoever called and whenever.
  if (auto verified = verify_staged(pending, manifest.files, install_dir); !verified) return verified;

  const platform::Path target = install_dir / platform::path_from_utf8(exe_file_name);
  const apply::ApplyPlan plan{updates_dir,
                              install_dir,
                              manifest.version,
                              pending,
                              MoveTriple{target, aside_path_for(target), pending / platform::path_from_utf8(exe_file_name)},
                              companion_plan(manifest.files, pending, install_dir)};

  if (platform::is_regular_file(plan.exe.incoming)) {
    if (auto swapped = apply::apply_with_journal(plan, replaced_version.value_or(std::string(unknown_replaced_version)));
        !swapped) {
      return swapped;
    }
  } else {
    if (auto moved = apply::apply_companions_only(plan); !moved) return moved;
    // As after a journaled swap and a fresh install, nothing of this release
    // stays staged: its manifest and signature live on in the history.
    if (auto removed = remove_stale(pending); !removed) return removed;
  }
  return write_history_atomically(updates_dir, manifest.version, release.manifest_bytes, release.signature);
}

}  // namespace update
