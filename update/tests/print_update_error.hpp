// Failed expectations show an UpdateError as its sentence.
#pragma once

#include <ostream>

#include "update/error.hpp"

namespace update {

inline void PrintTo(const UpdateError& error, std::ostream* out) { *out << display_update_error(error); }

}  // namespace update
