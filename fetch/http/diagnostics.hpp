// The fetch client's only diagnostic output, and the text of an internal
// fault. Both serve the connection-attempt threads.
#pragma once

#include <exception>
#include <string>

namespace fetch {

// Writes "morvane: <text>" and a line feed to standard error under one lock.
// Nothing happens when there is no standard error; a failed write is ignored.
void log_stderr(const std::string& text) noexcept;

// The fault's own message when it carries one, else
// "a panic that carried no message".
std::string panic_text(std::exception_ptr fault);

}  // namespace fetch
