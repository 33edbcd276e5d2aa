// The updater's own identity: the version that the release check compares a
// manifest with, and the build label that goes with it in the user agent.
#pragma once

#include <string_view>

namespace update {

inline constexpr std::string_view own_version = "0.1.0";
inline constexpr std::string_view own_build_label = "untracked";

}  // namespace update
