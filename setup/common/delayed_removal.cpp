#include "setup/common/delayed_removal.hpp"

#include <algorithm>

#include <fmt/format.h>

#include "platform/process.hpp"

namespace setup {

namespace {

// A name that cmd reads as itself between quotes, and that names an entry
// inside the working folder rather than the folder itself or its parent (no
// wildcard either, so del takes that one file alone).
bool plain_name(const std::string& name) {
  const auto plain = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           c == '.';
  };
  return std::all_of(name.begin(), name.end(), plain) && name.find_first_not_of('.') != std::string::npos;
}

// cmd in the entry's parent, pausing for `echo_requests` echo requests and
// then running `removal` on the entry's name.
std::optional<DelayedRemoval> delayed(const platform::Path& entry, int echo_requests, const char* removal) {
  const std::string name = platform::display(entry.filename());
  const platform::Path parent = entry.parent_path();
  if (!plain_name(name) || parent.empty() || parent == entry) return std::nullopt;
  return DelayedRemoval{
      .working_dir = parent,
      .args = {"/d", "/v:off", "/c", fmt::format("ping -n {} 127.0.0.1 >nul & {} \"{}\"", echo_requests, removal, name)},
  };
}

}  // namespace

std::optional<DelayedRemoval> delayed_removal(const platform::Path& folder, int echo_requests) {
  return delayed(folder, echo_requests, "rmdir /s /q");
}

std::optional<DelayedRemoval> delayed_file_removal(const platform::Path& file, int echo_requests) {
  return delayed(file, echo_requests, "del /f /q");
}

tl::expected<void, platform::IoError> start_delayed_removal(const DelayedRemoval& removal) {
  return platform::spawn_hidden_in(removal.working_dir, "cmd", removal.args);
}

}  // namespace setup
