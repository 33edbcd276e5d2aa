#include "setup/common/worker_fault.hpp"

#include <fmt/format.h>

#include "platform/fault_text.hpp"
#include "setup/common/sentences.hpp"
#include "setup/common/setup_log.hpp"

namespace setup {

std::string worker_panic_text(std::exception_ptr fault) {
  return platform::fault_message(fault).value_or("a panic");
}

InstallResult worker_stopped_result(const platform::Path& install_dir, std::string_view fault_text) {
  append_setup_log(install_dir, fmt::format("the installer's worker stopped: {}", fault_text));
  return tl::unexpected(could_not_install_text());
}

}  // namespace setup
