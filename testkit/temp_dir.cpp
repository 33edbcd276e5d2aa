#include "testkit/temp_dir.hpp"

#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

#include <fmt/format.h>

#include "platform/fs.hpp"
#include "platform/process.hpp"

namespace testkit {

TempDir::TempDir() {
  // A name nobody else holds: create_directory answers false for one that
  // is already there.
  static thread_local std::mt19937_64 random(std::random_device{}() ^ platform::process_id());
  const platform::Path base = platform::temp_dir();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const platform::Path candidate = base / fmt::format("morvane-test-{:012x}", random() & 0xffffffffffffULL);
    std::error_code ec;
    if (std::filesystem::create_directory(candidate, ec)) {
      path_ = candidate;
      return;
    }
    if (ec) throw std::runtime_error("cannot make a folder in " + platform::display(base) + ": " + ec.message());
  }
  throw std::runtime_error("no free folder name in " + platform::display(base));
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  // Through the layer: the C++ library's own walk on Windows starts over
  // for ever on a file whose removal waits for another program's handle.
  (void)platform::remove_dir_all(path_);
}

platform::Path TempDir::operator/(const std::string& name) const { return path_ / platform::path_from_utf8(name); }

}  // namespace testkit
