#include "update/tests/stage_bench_peers.hpp"

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include <fmt/format.h>

#include "fetch/digest/sha256.hpp"
#include "platform/fs.hpp"
#include "platform/process.hpp"
#include "testkit/pki.hpp"
#include "testkit/release/release_publisher.hpp"

namespace stagebench {

namespace {

using Run = tl::expected<PeerRun, std::string>;

std::vector<std::string> as_strings(const std::vector<platform::Path>& paths) {
  std::vector<std::string> out;
  for (const platform::Path& path : paths) out.push_back(path.string());
  return out;
}

// The program under /usr/bin/time, which reports its peak resident size on
// the last line of standard error.
Run run_timed(const std::string& program, const std::vector<std::string>& args) {
  std::vector<std::string> timed = {"-f", "%M", program};
  timed.insert(timed.end(), args.begin(), args.end());
  const auto start = std::chrono::steady_clock::now();
  auto ran = platform::run_hidden("/usr/bin/time", timed);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!ran) return tl::unexpected(fmt::format("{} cannot be run: {}", program, ran.error().text()));
  std::string err = platform::to_string(ran->stderr_bytes);
  if (ran->exit_code != 0) return tl::unexpected(fmt::format("{} failed: {}", program, err));
  while (!err.empty() && err.back() == '\n') err.pop_back();
  const std::size_t last_line = err.rfind('\n');
  const double peak = std::strtod(err.c_str() + (last_line == std::string::npos ? 0 : last_line + 1), nullptr);
  return PeerRun{seconds, peak};
}

// Both runs one after the other.
PeerRun then(const PeerRun& first, const PeerRun& second) {
  return PeerRun{first.seconds + second.seconds, std::max(first.peak_kib, second.peak_kib)};
}

// curl -o <folder>/<name> <url of name> for every name, in one curl.
Run curl_into(const platform::Path& folder, std::uint16_t port, const std::vector<std::string>& names) {
  (void)platform::remove_dir_all(folder);
  if (auto made = platform::create_dirs(folder); !made) return tl::unexpected(made.error().text());
  std::vector<std::string> args = {"-s", "-f", "--cacert", testkit::test_pki_file("root-ca.pem").string()};
  for (const std::string& name : names) {
    args.push_back("-o");
    args.push_back((folder / name).string());
    args.push_back(fmt::format("https://localhost:{}/releases/{}/{}/{}", port, testkit::kPublishedProduct,
                               testkit::kPublishedChannel, name));
  }
  return run_timed("curl", args);
}

std::vector<std::string> file_names() {
  std::vector<std::string> names;
  for (const BenchFile& file : bench_files) names.push_back(file.name);
  return names;
}

}  // namespace

tl::expected<PeerRun, std::string> sha256sum_files(const Layout& layout) {
  return run_timed("sha256sum", as_strings(file_paths(layout.channel())));
}

tl::expected<PeerRun, std::string> curl_files_and_sha256sum(const Layout& layout, std::uint16_t port) {
  const platform::Path folder = layout.scratch("curl-files");
  auto fetched = curl_into(folder, port, file_names());
  if (!fetched) return fetched;
  auto hashed = run_timed("sha256sum", as_strings(file_paths(folder)));
  (void)platform::remove_dir_all(folder);
  if (!hashed) return hashed;
  return then(*fetched, *hashed);
}

tl::expected<PeerRun, std::string> curl_artifacts(const Layout& layout, std::uint16_t port) {
  std::vector<std::string> names;
  for (const BenchFile& file : bench_files) names.push_back(testkit::artifact_name(file.name));
  const platform::Path folder = layout.scratch("curl-artifacts");
  auto fetched = curl_into(folder, port, names);
  (void)platform::remove_dir_all(folder);
  return fetched;
}

tl::expected<PeerRun, std::string> xz_decode_artifacts(const Layout& layout) {
  const platform::Path folder = layout.scratch("xz-d");
  (void)platform::remove_dir_all(folder);
  if (auto made = platform::create_dirs(folder); !made) return tl::unexpected(made.error().text());
  for (const BenchFile& file : bench_files) {
    const std::string name = testkit::artifact_name(file.name);
    if (auto copied = platform::copy_file_replace(layout.channel() / name, folder / name); !copied) {
      return tl::unexpected(copied.error().text());
    }
  }
  std::vector<std::string> args = {"-d", "-k", "-T1"};
  for (const platform::Path& path : artifact_paths(folder)) args.push_back(path.string());
  auto decoded = run_timed("xz", args);
  (void)platform::remove_dir_all(folder);
  return decoded;
}

tl::expected<PeerRun, std::string> bspatch_file(const Layout& layout) {
  const platform::Path folder = layout.scratch("bspatch");
  (void)platform::remove_dir_all(folder);
  if (auto made = platform::create_dirs(folder); !made) return tl::unexpected(made.error().text());
  const platform::Path out = folder / delta_file;
  auto patched = run_timed("bspatch", {layout.old_file().string(), out.string(), layout.bsdiff_patch().string()});
  if (patched) {
    // Not timed: bspatch made the release's file.
    auto made = fetch::sha256_file_hex(out, fetch::always_continue());
    auto wanted = fetch::sha256_file_hex(layout.channel() / delta_file, fetch::always_continue());
    if (!made || !wanted || *made != *wanted) patched = tl::unexpected(std::string("bspatch made other bytes"));
  }
  (void)platform::remove_dir_all(folder);
  return patched;
}

}  // namespace stagebench
