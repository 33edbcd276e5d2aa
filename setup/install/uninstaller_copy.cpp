#include "setup/install/uninstaller_copy.hpp"

#include <fmt/format.h>

#include "platform/fs.hpp"
#include "platform/process.hpp"
#include "update/own_file_names.hpp"
#include "update/store/write_atomic.hpp"

namespace setup {

namespace {

tl::unexpected<std::string> not_written(const platform::IoError& error) {
  return tl::unexpected(fmt::format("The uninstaller could not be written: {}", error.text()));
}

}  // namespace

tl::expected<void, std::string> copy_uninstaller(const platform::Path& install_dir) {
  auto running = platform::current_exe();
  if (!running) return tl::unexpected(running.error().text());
  return copy_uninstaller_from(*running, install_dir);
}

tl::expected<void, std::string> copy_uninstaller_from(const platform::Path& running_program,
                                                      const platform::Path& install_dir) {
  const platform::Path target = install_dir / update::uninstaller_file_name;
  // The setup program that runs as the installed uninstaller, by whatever
  // path it was started (a linked folder, say), is not copied onto itself.
  if (platform::same_file(running_program, target)) return {};
  // The copy goes to a sibling first and is moved into place whole, so the
  // uninstaller that the uninstall entry names is never a part-written one:
  // the copy's bytes are on the disk when it answers, and the rename when it
  // does, so not after a power cut either.
  const platform::Path part = update::part_path_for(target);
  if (auto copied = platform::copy_file_replace(running_program, part); !copied) {
    (void)platform::remove_file(part);
    return not_written(copied.error());
  }
  if (auto moved = platform::rename_replace(part, target); !moved) {
    (void)platform::remove_file(part);
    return not_written(moved.error());
  }
  return {};
}

}  // namespace setup
