// The web view's data folder under the user's temporary folder, and its
// removal when the window closes.
#pragma once

#include <chrono>
#include <functional>
#include <optional>

#include "platform/path.hpp"
#include "setup/common/delayed_removal.hpp"

namespace setup {

// The user's temporary folder joined with "morvane-setup-<process id>".
platform::Path user_data_folder();

// What the removal does to the system; system_folder_removal() is the real
// thing, tests put their own in.
struct FolderRemoval {
  std::function<bool(const platform::Path&)> exists;
  // Removes the folder with everything in it; true when that worked.
  std::function<bool(const platform::Path&)> remove_all;
  std::function<void(std::chrono::milliseconds)> sleep;
  std::function<std::chrono::steady_clock::time_point()> now;
  // Starts the delayed removal and does not wait for it.
  std::function<void(const DelayedRemoval&)> start_delayed_removal;
};

FolderRemoval system_folder_removal();

// The hidden `cmd` that removes the folder a few seconds after this process
// has ended (four echo requests, about three seconds).
std::optional<DelayedRemoval> user_data_folder_removal(const platform::Path& folder);

// Up to 20 tries, 100 ms apart, within the two seconds that these take
// (measured with `now`, since a try may take long itself): stops when the
// folder is not there or has been removed. When no try worked, starts
// user_data_folder_removal, whose result is not looked at.
void remove_user_data_folder(const platform::Path& folder, const FolderRemoval& removal);

}  // namespace setup
