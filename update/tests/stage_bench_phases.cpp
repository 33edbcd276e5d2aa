#include "update/tests/stage_bench_phases.hpp"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <vector>

#include <fmt/format.h>

#include "fetch/http/server_url.hpp"
#include "platform/fs.hpp"
#include "update/delta/mvdiff1.hpp"
#include "update/stage/stage_release.hpp"
#include "update/stage/verify_staged.hpp"
#include "update/store/updates_dir.hpp"

namespace stagebench {

namespace {

using Outcome = tl::expected<void, std::string>;

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A field of /proc/self/status in KiB ("VmHWM", "VmRSS"), 0 when it is not
// there.
std::uint64_t status_kib(const std::string& field) {
  auto status = platform::read_file("/proc/self/status");
  if (!status) return 0;
  const std::string text = platform::to_string(*status);
  const std::size_t at = text.find("\n" + field + ":");
  if (at == std::string::npos) return 0;
  return std::strtoull(text.c_str() + at + field.size() + 2, nullptr, 10);
}

void print_figure(const char* key, double value) { std::printf("%s %.6f\n", key, value); }

// What one staging phase changes in the channel's release before staging it,
// and where the installed files are.
enum class Ladder {
  Keep,      // every file, installed as released
  Plain,     // every file, nothing installed, no artifacts and no deltas
  Xz,        // every file, nothing installed, no deltas
  DeltaRung  // the delta's file alone, its earlier version installed
};

Outcome stage_phase(const Layout& layout, std::uint16_t port, Ladder ladder, const std::string& name) {
  auto release = load_release(layout);
  if (!release) return tl::unexpected(release.error());
  // The manifest's bytes stay as signed; only the entries that staging walks
  // lose the rungs this phase is not about.
  std::vector<update::FileEntry>& files = release->manifest.files;
  if (ladder == Ladder::DeltaRung) {
    std::erase_if(files, [](const update::FileEntry& entry) { return entry.path != delta_file; });
  }
  std::uint64_t expected_moved = 0;
  for (update::FileEntry& entry : files) {
    if (ladder == Ladder::Plain) entry.compressed.reset();
    if (ladder == Ladder::Plain || ladder == Ladder::Xz) entry.deltas.clear();
    expected_moved += ladder == Ladder::Plain      ? entry.bytes
                      : ladder == Ladder::Xz       ? entry.compressed->bytes
                      : ladder == Ladder::DeltaRung ? entry.deltas.front().bytes
                                                   : 0;
  }

  const platform::Path scratch = layout.scratch(name);
  (void)platform::remove_dir_all(scratch);
  const platform::Path updates = scratch / "updates";
  // The keep phase installs from the channel folder itself: it holds the
  // release's files under their names. The delta rung finds the earlier
  // version of its file next to the bsdiff patch.
  const platform::Path install = ladder == Ladder::Keep        ? layout.channel()
                                 : ladder == Ladder::DeltaRung ? layout.old_file().parent_path()
                                                               : scratch / "install";
  if (auto made = platform::create_dirs(install); !made) return tl::unexpected(made.error().text());

  std::atomic<bool> cancel{false};
  update::StageSink sink{[](update::StageEvent) {}, cancel};
  const fetch::ServerUrl server{"localhost", "", port, true};

  const std::uint64_t rss_before = status_kib("VmRSS");
  const auto start = std::chrono::steady_clock::now();
  auto staged = update::stage_release(updates, server, *release, sink, install);
  const double seconds = seconds_since(start);
  const std::uint64_t peak = status_kib("VmHWM");
  if (!staged) return tl::unexpected(update::display_update_error(staged.error()));

  // The work was what it should have been.
  const std::uint64_t expected_reused = ladder == Ladder::Keep ? files.size() : 0;
  if (staged->reused != expected_reused || staged->bytes_moved != expected_moved) {
    return tl::unexpected(fmt::format("staging took other rungs: {} reused, {} bytes moved", staged->reused,
                                      staged->bytes_moved));
  }
  if (auto checked = update::verify_staged(staged->pending_dir, files, install); !checked) {
    return tl::unexpected(update::display_update_error(checked.error()));
  }
  (void)platform::remove_dir_all(scratch);

  print_figure("seconds", seconds);
  print_figure("rss_kib", double(rss_before));
  print_figure("hwm_kib", double(peak));
  return {};
}

// apply_mvdiff1 from the earlier file to the release's, as bspatch does it:
// both read from files, the result written to one.
Outcome delta_phase(const Layout& layout) {
  auto release = load_release(layout);
  if (!release) return tl::unexpected(release.error());
  const update::FileEntry* entry = update::find_file_entry(release->manifest.files, delta_file);
  if (entry == nullptr || entry->deltas.empty()) return tl::unexpected(std::string("the release has no delta"));
  const platform::Path scratch = layout.scratch("delta");
  (void)platform::remove_dir_all(scratch);
  if (auto made = platform::create_dirs(scratch); !made) return tl::unexpected(made.error().text());
  const platform::Path patch_path = layout.channel() / entry->deltas.front().path;
  const platform::Path out_path = scratch / delta_file;

  const std::uint64_t rss_before = status_kib("VmRSS");
  const auto start = std::chrono::steady_clock::now();
  auto old = platform::read_file(layout.old_file());
  auto patch = platform::read_file(patch_path);
  if (!old || !patch) return tl::unexpected(std::string("the old file or the patch cannot be read"));
  const auto apply_start = std::chrono::steady_clock::now();
  auto rebuilt = update::apply_mvdiff1(*old, *patch, *entry);
  const double apply_seconds = seconds_since(apply_start);
  if (!rebuilt) return tl::unexpected("apply_mvdiff1 refused the patch: " + rebuilt.error());
  const auto write_start = std::chrono::steady_clock::now();
  if (auto written = platform::write_file(out_path, *rebuilt); !written) {
    return tl::unexpected(written.error().text());
  }
  const double write_seconds = seconds_since(write_start);
  const double seconds = seconds_since(start);
  const std::uint64_t peak = status_kib("VmHWM");
  (void)platform::remove_dir_all(scratch);

  print_figure("seconds", seconds);
  print_figure("apply_seconds", apply_seconds);
  print_figure("read_seconds", seconds - apply_seconds - write_seconds);
  print_figure("write_seconds", write_seconds);
  print_figure("rss_kib", double(rss_before));
  print_figure("hwm_kib", double(peak));
  return {};
}

}  // namespace

tl::expected<void, std::string> run_phase(const std::string& phase, const Layout& layout, std::uint16_t port) {
  if (phase == "keep") return stage_phase(layout, port, Ladder::Keep, phase);
  if (phase == "plain") return stage_phase(layout, port, Ladder::Plain, phase);
  if (phase == "xz") return stage_phase(layout, port, Ladder::Xz, phase);
  if (phase == "delta") return delta_phase(layout);
  if (phase == "delta-rung") return stage_phase(layout, port, Ladder::DeltaRung, phase);
  return tl::unexpected("no phase " + phase);
}

tl::expected<Figures, std::string> parse_figures(const std::string& output) {
  Figures figures;
  std::istringstream lines(output);
  std::string key;
  double value = 0;
  while (lines >> key >> value) figures[key] = value;
  if (!figures.count("seconds") || !figures.count("hwm_kib")) {
    return tl::unexpected("the phase printed no figures: " + output);
  }
  return figures;
}

}  // namespace stagebench
