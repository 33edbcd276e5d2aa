#include "setup/common/worker_fault.hpp"

#include <fmt/format.h>

#include "setup/common/sentences.hpp"
#include "setup/common/setup_log.hpp"

namespace setup {

std::string worker_panic_text(std::exception_ptr fault) {
  constexpr const char* no_text = "a panic";
  if (!fault) return no_text;
  try {
    std::rethrow_exception(fault);
  } catch (const std::exception& e) {
    return e.what();
  } catch (const std::string& text) {
    return text;
  } catch (const char* text) {
    return text != nullptr ? text : no_text;
  } catch (...) {
    return no_text;
  }
}

InstallResult worker_stopped_result(const platform::Path& install_dir, std::string_view fault_text) {
  append_setup_log(install_dir, fmt::format("the installer's worker stopped: {}", fault_text));
  return tl::unexpected(could_not_install_text());
}

}  // namespace setup
