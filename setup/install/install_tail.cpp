#include "setup/install/install_tail.hpp"

#include "platform/fs.hpp"
#include "setup/common/install_paths.hpp"
#include "setup/common/setup_log.hpp"
#include "update/store/updates_dir.hpp"

namespace setup {

void discard_pending(const platform::Path& updates_dir, std::string_view version) {
  (void)platform::remove_dir_all(update::pending_dir(updates_dir, version));
}

bool discard_pending_unless_journal(const platform::Path& updates_dir, std::string_view version) {
  if (update::path_exists(update::journal_path(updates_dir))) return true;
  discard_pending(updates_dir, version);
  return false;
}

void remove_failed_install(const platform::Path& install_dir, bool folder_existed) {
  if (folder_existed) return;
  const platform::Path log = setup_log_path(install_dir);
  if (platform::is_regular_file(log)) (void)platform::copy_file_replace(log, temp_log_path(install_dir));
  (void)platform::remove_dir_all(install_dir);
}

}  // namespace setup
