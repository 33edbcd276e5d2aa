// Threads with a name and a stack size of their own.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include <tl/expected.hpp>

#include "platform/io_error.hpp"

namespace platform {

// Starts a detached thread named `name` (cut to thread_name_limit() bytes)
// with the given stack size, running `body`. Nobody joins it.
tl::expected<void, IoError> spawn_detached_thread(const std::string& name, std::size_t stack_size,
                                                  std::function<void()> body);

// The calling thread's name, as the system reports it.
std::string current_thread_name();

// The longest thread name the system keeps, in bytes: 15 here; Windows keeps
// names of any length that matters.
std::size_t thread_name_limit();

}  // namespace platform
