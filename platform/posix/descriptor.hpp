// A file descriptor that closes itself: what the POSIX layer holds its open
// files, folders, pipes and lock files in.
#pragma once

#include <unistd.h>

#include "platform/owned_handle.hpp"

namespace platform::posix {

struct DescriptorTraits {
  using Value = int;
  static Value none() { return -1; }
  static bool is_open(Value fd) { return fd >= 0; }
  static void close(Value fd) noexcept { ::close(fd); }
};

using Descriptor = OwnedHandle<DescriptorTraits>;

}  // namespace platform::posix
