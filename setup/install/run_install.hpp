// The install transaction: installs the product into the per-user install
// folder, or brings an installation to the release that the channel
// publishes, reporting its progress on the way.
#pragma once

#include <atomic>
#include <string>
#include <string_view>

#include "platform/path.hpp"
#include "setup/common/install_paths.hpp"
#include "setup/common/install_result.hpp"
#include "setup/install/install_steps.hpp"

namespace setup {

// What one transaction works with besides its arguments.
struct InstallContext {
  // The release host's base URL, as text (an origin: scheme and host).
  std::string release_server_url_text;
  // Reading the installed version and the steps after the release is in
  // place.
  InstallSteps steps = product_install_steps();
};

// The transaction against the given release host and steps. Every failure
// is the sentence of the result; statuses go to the sink on this thread, in
// phase order, and none after the Installing one.
InstallResult run_install_with(const InstallContext& context, const platform::Path& install_dir,
                               std::string_view channel, const std::atomic<bool>& cancel, const StatusSink& sink);

// The transaction against this build's release host.
InstallResult run_install(const platform::Path& install_dir, std::string_view channel,
                          const std::atomic<bool>& cancel, const StatusSink& sink);

}  // namespace setup
