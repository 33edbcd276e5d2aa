// The setup tests' name for testkit's ScopedEnv.
#pragma once

#include "testkit/scoped_env.hpp"

namespace setup_test {

using testkit::ScopedEnv;

}  // namespace setup_test
