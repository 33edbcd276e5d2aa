#include "setup/common/delayed_removal.hpp"

#include <algorithm>

#include <fmt/format.h>

#include "platform/process.hpp"

namespace setup {

namespace {

// A name that cmd reads as itself between quotes, and that names a folder
// inside the working folder rather than the folder itself or its parent.
bool plain_name(const std::string& name) {
  const auto plain = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           c == '.';
  };
  return std::all_of(name.begin(), name.end(), plain) && name.find_first_not_of('.') != std::string::npos;
}

}  // namespace

std::optional<DelayedRemoval> delayed_removal(const platform::Path& folder, int echo_requests) {
  const std::string name = platform::display(folder.filename());
  const platform::Path parent = folder.parent_path();
  if (!plain_name(name) || parent.empty() || parent == folder) return std::nullopt;
  return DelayedRemoval{
      .working_dir = parent,
      .args = {"/d", "/v:off", "/c",
               fmt::format("ping -n {} 127.0.0.1 >nul & rmdir /s /q \"{}\"", echo_requests, name)},
  };
}

tl::expected<void, platform::IoError> start_delayed_removal(const DelayedRemoval& removal) {
  return platform::spawn_hidden_in(removal.working_dir, "cmd", removal.args);
}

}  // namespace setup
