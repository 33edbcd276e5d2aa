// Product releases for tests: the eight files that the installer requires,
// with a runnable morvane.exe whose version resource gives the release's
// version.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "testkit/release/release_publisher.hpp"

namespace setup_test {

// The eight files that every release must have, in the order a release
// lists them.
std::vector<std::string> product_file_names();

// The files of a product release: morvane.exe as a runnable PE stand-in whose
// version resource gives `version`, and seven libraries of some kilobytes
// whose bytes depend on their name and, at a few places, on the version.
std::vector<testkit::PublishedFile> product_files(const std::string& version);

// A release of those files.
testkit::Release product_release(const std::string& version, std::int64_t issued_at_ms);

}  // namespace setup_test
