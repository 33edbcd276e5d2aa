#include "setup/main/pending_modes.hpp"

#include <cstdio>
#include <string>

#include <fmt/format.h>

#include "setup/main/product.hpp"
#include "setup/main/sentences.hpp"

namespace setup {

namespace {

// "morvane-setup: this build has no <what> yet", on a line of its own.
void say_missing(std::string_view what) {
  const std::string line = fmt::format("{}-setup: this build has no {} yet\n", product_lower, what);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace

InstallResult run_install(const platform::Path&, std::string_view, const std::atomic<bool>&, const StatusSink&) {
  say_missing("install transaction");
  return tl::unexpected(could_not_install_text());
}

int run_uninstall(bool) {
  say_missing("uninstall");
  return 1;
}

int run_window_mode() {
  say_missing("setup window");
  return 1;
}

}  // namespace setup
