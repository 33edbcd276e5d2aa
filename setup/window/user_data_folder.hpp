// The web view's data folder under the user's temporary folder, and its
// removal when the window closes.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "platform/path.hpp"

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
  // Starts a program with no window and does not wait for it.
  std::function<void(const std::string& program, const std::vector<std::string>& args)> spawn_hidden;
};

FolderRemoval system_folder_removal();

// `ping -n 4 127.0.0.1 >nul & rmdir /s /q "<folder>"`: what cmd runs to
// remove the folder a few seconds after this process has ended.
std::string delayed_removal_command(const platform::Path& folder);

// Up to 20 tries, 100 ms apart: stops when the folder is not there or has
// been removed. When every try failed, starts a hidden `cmd /c` with
// delayed_removal_command, whose result is not looked at.
void remove_user_data_folder(const platform::Path& folder, const FolderRemoval& removal);

}  // namespace setup
