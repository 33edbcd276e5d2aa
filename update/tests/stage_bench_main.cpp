// How fast staging brings a release of 256 MiB in eight files into place, by
// each rung, next to the programs that do the same work: the keep rung
// against sha256sum of the installed files, the plain rung (nginx over TLS on
// loopback) against curl fetching the files plus sha256sum, the xz rung
// against xz -d of the same artifacts, and apply_mvdiff1 of a 1 % change to
// the 64 MiB file against bspatch with a bsdiff patch of the same change
// (and the delta rung staging that file, for what it adds to the apply).
// Each of our phases runs in a process of its own, so that its peak memory
// is its own. Not a test: it prints its figures.
//
//   update_stage_bench [--runs N] [--work DIR] [--only keep|plain|xz|delta]
//
// 5 runs unless told, every phase unless told ("delta" takes the delta rung
// with it), the phases and their peers taking turns. The release
// is made in a temporary folder, or in DIR, where it is kept and used again
// by the next run. The files are read from the page cache on both sides.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "platform/process.hpp"
#include "testkit/release/release_host.hpp"
#include "testkit/temp_dir.hpp"
#include "update/tests/stage_bench_peers.hpp"
#include "update/tests/stage_bench_phases.hpp"
#include "update/tests/stage_bench_release.hpp"

namespace {

using namespace stagebench;

struct Options {
  int runs = 5;
  std::string work;   // empty: a temporary folder
  std::string only;   // empty: every phase
  std::string phase;  // set in a phase's own process
  std::uint16_t port = 0;
};

bool parse_options(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string flag = argv[i];
    if (i + 1 >= argc) return false;
    const std::string value = argv[++i];
    if (flag == "--runs") {
      options.runs = std::atoi(value.c_str());
    } else if (flag == "--work") {
      options.work = value;
    } else if (flag == "--only") {
      options.only = value;
    } else if (flag == "--phase") {
      options.phase = value;
    } else if (flag == "--port") {
      options.port = static_cast<std::uint16_t>(std::atoi(value.c_str()));
    } else {
      return false;
    }
  }
  return options.runs > 0 && (options.only.empty() || options.only == "keep" || options.only == "plain" ||
                               options.only == "xz" || options.only == "delta");
}

// The runs of one measured thing.
struct Series {
  std::vector<double> seconds;
  double peak_kib = 0;

  void add(double run_seconds, double run_peak_kib) {
    seconds.push_back(run_seconds);
    peak_kib = std::max(peak_kib, run_peak_kib);
  }
  double best() const { return *std::min_element(seconds.begin(), seconds.end()); }
  double median() const {
    std::vector<double> sorted = seconds;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t n = sorted.size();
    return n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
  }
};

// Several series run after one another in each run, as one; empty unless
// every part was measured.
Series in_a_row(const std::vector<const Series*>& parts) {
  Series sum;
  for (const Series* part : parts) {
    if (part->seconds.size() != parts.front()->seconds.size()) return sum;
  }
  for (std::size_t run = 0; run < parts.front()->seconds.size(); ++run) {
    double seconds = 0;
    for (const Series* part : parts) seconds += part->seconds[run];
    sum.seconds.push_back(seconds);
  }
  for (const Series* part : parts) sum.peak_kib = std::max(sum.peak_kib, part->peak_kib);
  return sum;
}

// One of our phases in a process of its own.
tl::expected<Figures, std::string> run_child(const std::string& phase, const Options& options, std::uint16_t port) {
  auto self = platform::current_exe();
  if (!self) return tl::unexpected(self.error().text());
  auto ran = platform::run_hidden(self->string(), {"--phase", phase, "--work", options.work, "--port",
                                                   std::to_string(port)});
  if (!ran) return tl::unexpected(ran.error().text());
  const std::string said = platform::to_string(ran->stderr_bytes);
  if (ran->exit_code != 0) return tl::unexpected(fmt::format("the {} phase failed: {}", phase, said));
  // Whatever else it said (timers added while profiling, say) is passed on.
  if (!said.empty()) std::fprintf(stderr, "%s", said.c_str());
  return parse_figures(platform::to_string(ran->stdout_bytes));
}

double as_mib(double kib) { return kib / 1024; }

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse_options(argc, argv, options)) {
    std::fprintf(stderr, "usage: update_stage_bench [--runs N] [--work DIR] [--only keep|plain|xz|delta]\n");
    return 2;
  }
  if (!options.phase.empty()) {
    auto done = run_phase(options.phase, Layout{options.work}, options.port);
    if (!done) {
      std::fprintf(stderr, "%s\n", done.error().c_str());
      return 1;
    }
    return 0;
  }

  std::unique_ptr<testkit::TempDir> temporary;
  if (options.work.empty()) {
    temporary = std::make_unique<testkit::TempDir>();
    options.work = temporary->path().string();
  }
  const Layout layout{options.work};
  if (auto prepared = prepare(layout); !prepared) {
    std::fprintf(stderr, "the release cannot be made: %s\n", prepared.error().c_str());
    return 1;
  }

  std::map<std::string, Series> measured;
  Series apply_only;
  Series delta_read;
  Series delta_write;
  const auto fail = [](const std::string& what) {
    std::fprintf(stderr, "%s\n", what.c_str());
    return 1;
  };
  for (int run = 0; run < options.runs; ++run) {
    std::printf("run %d of %d...\n", run + 1, options.runs);
    std::fflush(stdout);
    // A fresh nginx for each run: it ends by itself after two minutes.
    testkit::ReleaseHost host(layout.site());
    const std::uint16_t port = host.port();
    for (const std::string phase : {"keep", "plain", "xz", "delta", "delta-rung"}) {
      if (!options.only.empty() && phase != options.only && !phase.starts_with(options.only + "-")) continue;
      auto figures = run_child(phase, options, port);
      if (!figures) return fail(figures.error());
      measured[phase].add((*figures)["seconds"], (*figures)["hwm_kib"]);
      if (phase == "delta") {
        apply_only.add((*figures)["apply_seconds"], (*figures)["hwm_kib"]);
        delta_read.add((*figures)["read_seconds"], 0);
        delta_write.add((*figures)["write_seconds"], 0);
      }
      // The delta rung is measured against the same bspatch as apply_mvdiff1.
      if (phase == "delta-rung") continue;

      const std::map<std::string, std::function<tl::expected<PeerRun, std::string>()>> peers = {
          {"keep", [&] { return sha256sum_files(layout); }},
          {"plain", [&] { return curl_files_and_sha256sum(layout, port); }},
          {"xz", [&] { return xz_decode_artifacts(layout); }},
          {"delta", [&] { return bspatch_file(layout); }},
      };
      auto peer = peers.at(phase)();
      if (!peer) return fail(peer.error());
      measured[phase + " peer"].add(peer->seconds, peer->peak_kib);
      if (phase == "xz") {
        auto fetched = curl_artifacts(layout, port);
        if (!fetched) return fail(fetched.error());
        measured["curl artifacts"].add(fetched->seconds, fetched->peak_kib);
      }
    }
  }

  std::uint64_t total = 0;
  std::uint64_t largest = 0;
  for (const BenchFile& file : bench_files) {
    total += file.bytes;
    largest = std::max(largest, file.bytes);
  }
  struct Row {
    std::string name;
    const Series& ours;
    Series peer;
    std::optional<double> target;
  };
  const std::vector<Row> rows = {
      {"keep rung / sha256sum", measured["keep"], measured["keep peer"], 1.2},
      {"plain rung / curl + sha256sum", measured["plain"], measured["plain peer"], 1.25},
      {"xz rung / xz -d", measured["xz"], measured["xz peer"], std::nullopt},
      {"xz rung / curl + xz -d + sha256sum", measured["xz"],
       in_a_row({&measured["curl artifacts"], &measured["xz peer"], &measured["keep peer"]}), std::nullopt},
      {"apply_mvdiff1, files / bspatch", measured["delta"], measured["delta peer"], std::nullopt},
      {"apply_mvdiff1, in memory / bspatch", apply_only, measured["delta peer"], std::nullopt},
      {"delta rung, one file / bspatch", measured["delta-rung"], measured["delta peer"], std::nullopt},
  };

  fmt::print("\nrelease: {} files, {} MiB, the largest {} MiB; delta: 1 % of the largest file changed\n",
             std::size(bench_files), total / mib, largest / mib);
  fmt::print("{} runs; seconds as median (best); ratio = ours / peer, of the medians (of the bests)\n\n",
             options.runs);
  fmt::print("{:<36}{:>16}{:>16}{:>14}{:>8}{:>12}{:>12}\n", "", "ours s", "peer s", "ratio", "target",
             "ours peak", "peer peak");
  for (const Row& row : rows) {
    if (row.ours.seconds.empty() || row.peer.seconds.empty()) continue;  // not measured (--only)
    const double ratio = row.ours.median() / row.peer.median();
    const double best_ratio = row.ours.best() / row.peer.best();
    const std::string verdict = !row.target ? "" : ratio <= *row.target ? " met" : " MISSED";
    fmt::print("{:<36}{:>16}{:>16}{:>14}{:>8}{:>9.0f} MiB{:>8.0f} MiB{}\n", row.name,
               fmt::format("{:.3f} ({:.3f})", row.ours.median(), row.ours.best()),
               fmt::format("{:.3f} ({:.3f})", row.peer.median(), row.peer.best()),
               fmt::format("{:.2f} ({:.2f})", ratio, best_ratio),
               row.target ? fmt::format("{:.2f}", *row.target) : std::string("-"), as_mib(row.ours.peak_kib),
               as_mib(row.peer.peak_kib), verdict);
  }
  if (!delta_read.seconds.empty()) {
    fmt::print("\napply_mvdiff1 from and to files, median s: reading {:.3f}, applying {:.3f}, writing {:.3f}\n",
               delta_read.median(), apply_only.median(), delta_write.median());
  }
  fmt::print("\npeak memory of our phases (VmHWM of the phase's process), against the largest file ({} MiB):\n",
             largest / mib);
  for (const char* phase : {"keep", "plain", "xz", "delta", "delta-rung"}) {
    if (measured[phase].seconds.empty()) continue;
    const double peak = as_mib(measured[phase].peak_kib);
    fmt::print("  {:<11}{:>6.0f} MiB = {:.2f} x the largest file\n", phase, peak, peak / double(largest / mib));
  }
  return 0;
}
