// What a step that answers nothing or a sentence said, for comparing in a test.
#pragma once

#include <string>

#include <tl/expected.hpp>

namespace setup_test {

// "" for a success, else the failure sentence.
inline std::string failure_text(const tl::expected<void, std::string>& outcome) {
  return outcome ? std::string() : outcome.error();
}

}  // namespace setup_test
