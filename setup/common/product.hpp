// The release channel that this setup program installs from. The product's
// names are in morvane/config.hpp, which every layer shares.
#pragma once

#include <string_view>

namespace setup {

// The channel that both the quiet and the window mode install from.
inline constexpr std::string_view release_channel = "stable-intl";

}  // namespace setup
