// Environment variables, as UTF-8 text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The variable's value when it is set (an empty value counts as set). On
// POSIX the value is the raw bytes; callers that need valid text check it.
std::optional<std::string> env_var(std::string_view name);

}  // namespace platform
