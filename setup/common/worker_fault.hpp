// What becomes of an internal fault that escapes the install on a worker
// thread: a setup.log line and the plain failure sentence, never the fault.
#pragma once

#include <exception>
#include <string>
#include <string_view>

#include "platform/path.hpp"
#include "setup/common/install_result.hpp"

namespace setup {

// The text that the fault carries (a std::exception's what(), a thrown
// std::string or C string), otherwise "a panic".
std::string worker_panic_text(std::exception_ptr fault);

// Logs "the installer's worker stopped: <fault text>" and answers the failure
// "Morvane could not be installed. Run the installer again."
InstallResult worker_stopped_result(const platform::Path& install_dir, std::string_view fault_text);

}  // namespace setup
