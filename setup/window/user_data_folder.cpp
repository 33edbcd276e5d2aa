#include "setup/window/user_data_folder.hpp"

#include <thread>

#include <fmt/format.h>

#include "platform/fs.hpp"
#include "platform/process.hpp"
#include "setup/main/product.hpp"

namespace setup {

platform::Path user_data_folder() {
  return platform::temp_dir() / fmt::format("{}-setup-{}", product_lower, platform::process_id());
}

FolderRemoval system_folder_removal() {
  return {
      .exists = [](const platform::Path& folder) { return platform::exists(folder); },
      .remove_all = [](const platform::Path& folder) { return platform::remove_dir_all(folder).has_value(); },
      .sleep = [](std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); },
      .spawn_hidden =
          [](const std::string& program, const std::vector<std::string>& args) {
            (void)platform::spawn_hidden(program, args);
          },
  };
}

std::string delayed_removal_command(const platform::Path& folder) {
  return fmt::format("ping -n 4 127.0.0.1 >nul & rmdir /s /q \"{}\"", platform::display(folder));
}

void remove_user_data_folder(const platform::Path& folder, const FolderRemoval& removal) {
  constexpr int tries = 20;
  constexpr std::chrono::milliseconds pause(100);
  for (int i = 0; i < tries; ++i) {
    if (!removal.exists(folder) || removal.remove_all(folder)) return;
    removal.sleep(pause);
  }
  removal.spawn_hidden("cmd", {"/c", delayed_removal_command(folder)});
}

}  // namespace setup
