// Where the proxy settings (proxy_settings.hpp) are read from: environment
// variables and `reg query` of the per-user Internet Settings, and the small
// text rules for reading them.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process.hpp"

namespace fetch {

// An environment variable's raw value; nothing when it is not set.
using EnvFn = std::function<std::optional<std::string>(std::string_view name)>;

// The variable's value trimmed, when it is set, valid UTF-8 and not blank.
std::optional<std::string> env_value(std::string_view name);
std::optional<std::string> env_value_from(const EnvFn& env, std::string_view name);

// The text split at ",", each piece trimmed and ASCII lower-cased, empty
// pieces dropped.
std::vector<std::string> no_proxy_entries(std::string_view text);

// What `reg query` prints for one value of the per-user Internet Settings key
// (UTF-8, invalid bytes replaced); nothing when `reg` cannot be started. The
// registry is read by running `reg` hidden (platform::HiddenRunner).
std::optional<std::string> reg_query_internet_settings(std::string_view value_name);
std::optional<std::string> reg_query_internet_settings_with(const platform::HiddenRunner& run,
                                                            std::string_view value_name);

// In "key=value;key=value", the trimmed value of the first entry whose trimmed
// key equals `key` ignoring ASCII case.
std::optional<std::string> lookup_proxy_entry(std::string_view text, std::string_view key);

}  // namespace fetch
