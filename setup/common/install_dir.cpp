#include "setup/common/install_dir.hpp"

#include <fmt/format.h>

#include "morvane/config.hpp"
#include "platform/env.hpp"

namespace setup {

tl::expected<platform::Path, std::string> find_install_dir() {
  const auto local_app_data = platform::env_var("LOCALAPPDATA");
  // An empty or relative value would put the install (and an uninstall's
  // removal) below whatever the working folder happens to be; such a value
  // gives no usable folder, just like a missing one.
  const platform::Path base = local_app_data ? platform::path_from_utf8(*local_app_data) : platform::Path();
  if (!local_app_data || !base.is_absolute()) {
    return tl::unexpected(std::string("This computer gives no LOCALAPPDATA folder."));
  }
  return base / "Programs" / platform::path_from_utf8(config::product_upper);
}

}  // namespace setup
