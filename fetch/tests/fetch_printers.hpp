// How the tests print the fetch client's values when an expectation fails.
#pragma once

#include <ostream>

#include "fetch/error.hpp"

namespace fetch {

inline void PrintTo(const FetchError& error, std::ostream* out) { *out << format_fetch_error(error); }

}  // namespace fetch
