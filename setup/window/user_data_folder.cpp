#include "setup/window/user_data_folder.hpp"

#include <thread>

#include <fmt/format.h>

#include "morvane/config.hpp"
#include "platform/fs.hpp"
#include "platform/process.hpp"

namespace setup {

platform::Path user_data_folder() {
  return platform::temp_dir() / fmt::format("{}-setup-{}", config::product_lower, platform::process_id());
}

FolderRemoval system_folder_removal() {
  return {
      .exists = [](const platform::Path& folder) { return platform::exists(folder); },
      .remove_all = [](const platform::Path& folder) { return platform::remove_dir_all(folder).has_value(); },
      .sleep = [](std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); },
      .now = [] { return std::chrono::steady_clock::now(); },
      .start_delayed_removal = [](const DelayedRemoval& delayed) { (void)start_delayed_removal(delayed); },
  };
}

std::optional<DelayedRemoval> user_data_folder_removal(const platform::Path& folder) {
  return delayed_removal(folder, 4);
}

void remove_user_data_folder(const platform::Path& folder, const FolderRemoval& removal) {
  constexpr int tries = 20;
  constexpr std::chrono::milliseconds pause(100);
  // A try may itself wait for a held file (the Windows layer makes a held
  // removal again for about a second): no try starts once the tries' own
  // time is over.
  constexpr std::chrono::milliseconds budget = tries * pause;
  const auto began = removal.now();
  for (int i = 0; i < tries; ++i) {
    if (i > 0 && removal.now() - began >= budget) break;
    if (!removal.exists(folder) || removal.remove_all(folder)) return;
    removal.sleep(pause);
  }
  if (auto delayed = user_data_folder_removal(folder)) removal.start_delayed_removal(*delayed);
}

}  // namespace setup
