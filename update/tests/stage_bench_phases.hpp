// One measured phase of the staging benchmark, run in a process of its own so
// that its peak memory is its own: the program starts itself with
// "--phase <name>", and the phase prints its figures on standard output as
// "<key> <value>" lines, which the parent reads back.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include <tl/expected.hpp>

#include "update/tests/stage_bench_release.hpp"

namespace stagebench {

// The phases: "keep" (every file already installed), "plain" (every file
// downloaded whole), "xz" (every file from its artifact), "delta"
// (apply_mvdiff1 on the largest file, from and to files), "delta-rung"
// (staging the largest file alone from its delta, the earlier version
// installed).
//
// Keys printed: "seconds" (the measured work), "rss_kib" (resident before
// it), "hwm_kib" (the process's peak, /proc/self/status VmHWM), and for
// "delta" also "apply_seconds" (apply_mvdiff1 alone, in memory),
// "read_seconds" (reading the old file and the patch) and "write_seconds"
// (writing the new file).
tl::expected<void, std::string> run_phase(const std::string& phase, const Layout& layout, std::uint16_t port);

// The figures of one run of a phase, parsed from its output.
using Figures = std::map<std::string, double>;
tl::expected<Figures, std::string> parse_figures(const std::string& output);

}  // namespace stagebench
