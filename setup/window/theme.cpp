#include "setup/window/theme.hpp"

#include "platform/registry.hpp"

namespace setup {

bool read_light_theme() {
  const auto value =
      platform::read_user_dword("Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize", "AppsUseLightTheme");
  return !(value && *value == 0);
}

platform::Colour theme_background(bool light) {
  return light ? platform::Colour{0xFB, 0xF8, 0xF1} : platform::Colour{0x0A, 0x06, 0x18};
}

}  // namespace setup
