// What staging tells the installer while it brings a release's files into the
// staging folder, and how the installer listens: a handler for the events and
// the cancel flag that staging reads.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>

#include "platform/one_of.hpp"

namespace update {

// The alternatives of a StageEvent, which holds one of them.
struct StageEventCases {
  // Once, before the first file: the manifest's number of files and the sum
  // of their sizes.
  struct Planned {
    std::uint64_t files = 0;
    std::uint64_t total_bytes = 0;
    bool operator==(const Planned&) const = default;
  };
  // Before a staged copy is hashed (`local` true) and before a plain download
  // (`local` false). `size` is always the entry's signed size.
  struct FileStarted {
    std::optional<std::uint64_t> size;
    std::string path;
    bool local = false;
    bool operator==(const FileStarted&) const = default;
  };
  // Progress of one operation: hashing a staged copy, or downloading a delta,
  // an artifact or a plain file.
  struct BytesDone {
    std::uint64_t done = 0;
    std::uint64_t total = 0;
    bool operator==(const BytesDone&) const = default;
  };
  // A file is settled. `reused` is true when nothing was downloaded for it.
  struct FileStaged {
    std::string path;
    std::uint64_t bytes = 0;
    bool reused = false;
    bool operator==(const FileStaged&) const = default;
  };

  std::variant<Planned, FileStarted, BytesDone, FileStaged> value;

  bool operator==(const StageEventCases&) const = default;
};
using StageEvent = platform::OneOf<StageEventCases>;

// Lent to staging for the length of one call. The handler is called on the
// thread that stages, also from inside hashing and download progress; the
// flag is set by another thread and only read here.
struct StageSink {
  std::function<void(StageEvent)> handler;
  const std::atomic<bool>& cancel;

  void send(StageEvent event) {
    if (handler) handler(std::move(event));
  }
  bool cancelled() const { return cancel.load(); }
};

}  // namespace update
