#include "setup/install/install_fresh.hpp"

#include <vector>

#include <fmt/format.h>

#include "platform/fs.hpp"
#include "setup/common/setup_log.hpp"
#include "update/store/history.hpp"
#include "update/store/updates_dir.hpp"

namespace setup {

tl::expected<void, std::string> install_fresh(const platform::Path& install_dir, const platform::Path& updates_dir,
                                              const update::VerifiedRelease& release) {
  const platform::Path pending = update::pending_dir(updates_dir, release.manifest.version);
  std::vector<platform::Path> moved;
  for (const update::FileEntry& entry : release.manifest.files) {
    const platform::Path staged = pending / platform::path_from_utf8(entry.path);
    if (!platform::is_regular_file(staged)) continue;
    const platform::Path target = install_dir / platform::path_from_utf8(entry.path);
    if (auto renamed = platform::rename_replace(staged, target); !renamed) {
      for (const platform::Path& done : moved) (void)platform::remove_file(done);
      const std::string error = renamed.error().text();
      append_setup_log(install_dir, fmt::format("moving {} to {}: {}", platform::display(staged),
                                                platform::display(target), error));
      return tl::unexpected(fmt::format(
          "{} could not be written ({}), so nothing was installed. Run the installer again.",
          platform::display(target), error));
    }
    moved.push_back(target);
  }

  update::write_history_best_effort(updates_dir, release.manifest.version, release.manifest_bytes,
                                    release.signature);
  (void)platform::remove_dir_all(pending);
  return {};
}

}  // namespace setup
