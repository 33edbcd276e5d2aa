// The light or dark app theme that the user chose for the system.
#pragma once

#include "platform/window.hpp"

namespace setup {

// True for light: unless the user's AppsUseLightTheme value (below
// Software\Microsoft\Windows\CurrentVersion\Themes\Personalize) is read and
// is 0, which means dark. A missing key or value, or any failure, is light.
bool read_light_theme();

// The window's and the web view's background: #FBF8F1 light, #0A0618 dark.
platform::Colour theme_background(bool light);

}  // namespace setup
