// The product's names, as every sentence, path and name of the installer
// spells them, and the release channel that this setup program installs from.
#pragma once

#include <string_view>

namespace setup {

// The product as the user reads it: captions and sentences.
inline constexpr std::string_view product_name = "Morvane";

// The product word in upper case: the install folder, mutex names, the
// uninstall registry key.
inline constexpr std::string_view product_upper = "MORVANE";

// The product word in lower case: file names, the release path.
inline constexpr std::string_view product_lower = "morvane";

// The channel that both the quiet and the window mode install from.
inline constexpr std::string_view release_channel = "stable-intl";

}  // namespace setup
