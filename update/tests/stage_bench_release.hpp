// The release that the staging benchmark stages: eight files of 256 MiB in
// all, published with xz artifacts and, for its largest file, an mvdiff1
// delta from an earlier version that differs in 1 % of its bytes; the same
// change as a bsdiff patch; and where everything lies below the work folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <tl/expected.hpp>

#include "platform/bytes.hpp"
#include "platform/path.hpp"
#include "update/check/verify_release.hpp"

namespace stagebench {

inline constexpr std::uint64_t mib = 1024 * 1024;

// The release's files by name and size, the delta's file first.
struct BenchFile {
  const char* name;
  std::uint64_t bytes;
};
inline constexpr BenchFile bench_files[] = {
    {"core.dll", 64 * mib},    {"morvane.exe", 48 * mib}, {"assets.pak", 40 * mib}, {"media.pak", 32 * mib},
    {"fonts.pak", 24 * mib},   {"locale.pak", 24 * mib},  {"help.pak", 16 * mib},   {"updater.dll", 8 * mib},
};
inline constexpr const char* delta_file = "core.dll";
inline constexpr const char* earlier_version = "1.0.0";
inline constexpr const char* bench_version = "1.1.0";

// The folders and files below the work folder.
struct Layout {
  platform::Path work;

  // Served by nginx at "/".
  platform::Path site() const { return work / "site"; }
  // The channel folder: the release's files, artifacts, delta and manifest.
  platform::Path channel() const;
  // The earlier version of the delta's file, and the bsdiff patch from it.
  platform::Path old_file() const { return work / "old" / delta_file; }
  platform::Path bsdiff_patch() const { return work / "old" / "core.dll.bsdiff"; }
  // Where one measured run writes; emptied before and after it.
  platform::Path scratch(const std::string& phase) const { return work / "scratch" / phase; }
  // Written last by prepare(): the release is complete.
  platform::Path ready_mark() const { return work / "ready"; }
};

// Content that compresses about as a program's files do: stretches of
// words, stretches repeated from earlier with a few bytes changed, and
// stretches of noise.
platform::Bytes bench_content(std::size_t size, std::uint32_t seed);
// The bytes with 1 % of them changed: runs overwritten, a few bytes inserted
// or removed here and there.
platform::Bytes one_percent_changed(platform::ByteView bytes, std::uint32_t seed);

// Makes the release below the work folder (unless an earlier run of the
// benchmark left it complete there), printing what it does. Failures are a
// sentence.
tl::expected<void, std::string> prepare(const Layout& layout);

// The channel's release.json and its signature, verified with the build's
// pinned keys.
tl::expected<update::VerifiedRelease, std::string> load_release(const Layout& layout);

// The published names of the files and of their artifacts, below a folder.
std::vector<platform::Path> file_paths(const platform::Path& folder);
std::vector<platform::Path> artifact_paths(const platform::Path& folder);

}  // namespace stagebench
