// A small disk of the test's own, to fill up: a tmpfs of a given size,
// mounted on a fresh folder in a mount namespace that only the calling
// thread and the processes it starts from then on see. Nothing of it shows
// outside the test, and it goes away with the process.
//
// Mounting needs root (as in CI); failure() says why it could not be made,
// for a test to skip with.
#pragma once

#include <cstdint>
#include <string>

#include "platform/path.hpp"
#include "testkit/temp_dir.hpp"

namespace testkit {

class SmallDisk {
 public:
  // Mounted on `at` (a folder, made when missing), or on a fresh folder when
  // `at` is empty.
  explicit SmallDisk(std::uint64_t bytes, const platform::Path& at = {});
  ~SmallDisk();
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  // Empty when the disk is mounted; else why it is not.
  const std::string& failure() const { return failure_; }
  const platform::Path& path() const { return path_; }

  // The bytes still free on it.
  std::uint64_t free_bytes() const;

  // Fills it with one file of its own, "filler", until about `leave` bytes
  // stay free (the system counts in pages of 4 KiB). Empty on success.
  std::string fill(std::uint64_t leave);

 private:
  TempDir folder_;
  platform::Path path_;
  bool mounted_ = false;
  std::string failure_;
};

}  // namespace testkit
