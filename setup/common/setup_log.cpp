#include "setup/common/setup_log.hpp"

#include <string>

#include <fmt/format.h>

#include "platform/bytes.hpp"
#include "platform/fs.hpp"
#include "update/store/clock.hpp"
#include "update/store/updates_dir.hpp"

namespace setup {

platform::Path setup_log_path(const platform::Path& install_dir) {
  return update::setup_log_path(update::updates_dir_in(install_dir));
}

void append_setup_log(const platform::Path& install_dir, std::string_view text) {
  const platform::Path path = setup_log_path(install_dir);
  (void)platform::create_dirs(path.parent_path());
  auto file = platform::File::open_append(path);
  if (!file) return;
  // One write for the whole entry, so that a line is never torn apart by a
  // failure half-way.
  const std::string entry = fmt::format("{} {}\n", update::now_ms(), text);
  (void)file->write_all(platform::byte_view(entry));
}

}  // namespace setup
