// The message that an escaped exception carries, for the lines that report
// an internal fault.
#pragma once

#include <exception>
#include <optional>
#include <string>

namespace platform {

// The fault's own text: a std::exception's what(), a thrown std::string or C
// string. Nothing for no fault, a null C string or anything else thrown.
std::optional<std::string> fault_message(std::exception_ptr fault);

}  // namespace platform
