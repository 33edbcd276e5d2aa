// Throughput of the download paths against nginx over TLS on loopback, next
// to curl fetching the same URL: a whole-file get_bytes, and
// download_with_fallback forced into its ranged fallback (nginx hangs up on a
// request without a Range header below /ranged-only/). curl runs twice per
// round: writing to /dev/null (it keeps nothing) and writing into a tmpfs
// file (it keeps the whole file in memory, as get_bytes must). Not a test: it
// prints its figures.
//
//   fetch_download_bench [--mib N] [--runs N] [--only whole|ranged|curl]
//
// 256 MiB and 7 runs unless told; each path is measured once per run, the
// paths taking turns, and the best and the median run are printed.
#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "fetch/http/download.hpp"
#include "fetch/http/request.hpp"
#include "fetch/tests/nginx_peer.hpp"
#include "platform/fs.hpp"
#include "platform/process.hpp"
#include "testkit/pki.hpp"

namespace {

struct Options {
  std::size_t mib = 256;
  int runs = 7;
  std::string only;  // empty: every path
};

bool parse_options(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string flag = argv[i];
    if (i + 1 >= argc) return false;
    const std::string value = argv[++i];
    if (flag == "--mib") {
      options.mib = std::strtoul(value.c_str(), nullptr, 10);
    } else if (flag == "--runs") {
      options.runs = std::atoi(value.c_str());
    } else if (flag == "--only") {
      options.only = value;
    } else {
      return false;
    }
  }
  return options.mib > 0 && options.runs > 0;
}

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One measured path: its name, one timed run (its seconds, or nothing after
// a failure, which it has printed), and its run times. A run times the
// download alone: checking the bytes and freeing them come after.
struct Measured {
  std::string name;
  std::string group;
  std::function<std::optional<double>()> run;
  std::vector<double> seconds;

  double best() const { return *std::min_element(seconds.begin(), seconds.end()); }
  double median() const {
    std::vector<double> sorted = seconds;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t n = sorted.size();
    return n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
  }
};

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse_options(argc, argv, options)) {
    std::fprintf(stderr, "usage: fetch_download_bench [--mib N] [--runs N] [--only whole|ranged|curl]\n");
    return 2;
  }
  const std::size_t size = options.mib * 1024 * 1024;
  std::string file(size, '\0');
  for (std::size_t i = 0; i < size; ++i) file[i] = static_cast<char>((i * 2654435761u) >> 24);

  fetch_test::NginxPeer nginx;
  nginx.put("file.bin", file);
  nginx.put("ranged-only/file.bin", file);
  const fetch::ServerUrl url = nginx.url();
  const std::string curl_url = fmt::format("https://localhost:{}/file.bin", nginx.port());
  const platform::Path shm_file = fmt::format("/dev/shm/fetch_download_bench.{}", platform::process_id());

  const auto same_bytes = [&](const platform::Bytes& bytes) {
    return bytes.size() == size && std::memcmp(bytes.data(), file.data(), size) == 0;
  };
  const auto curl_to = [&](const std::string& output) -> std::optional<double> {
    const auto start = std::chrono::steady_clock::now();
    auto curl = platform::run_hidden(
        "curl", {"-s", "-f", "-o", output, "--cacert", testkit::test_pki_file("root-ca.pem").string(), curl_url});
    const double seconds = seconds_since(start);
    if (!curl || curl->exit_code != 0) {
      std::fprintf(stderr, "curl -o %s failed\n", output.c_str());
      return std::nullopt;
    }
    return seconds;
  };
  // Times a download, then checks what it brought.
  const auto timed = [&](const char* what, const auto& download) -> std::optional<double> {
    const auto start = std::chrono::steady_clock::now();
    auto bytes = download();
    const double seconds = seconds_since(start);
    if (!bytes || !same_bytes(*bytes)) {
      std::fprintf(stderr, "%s failed: %s\n", what,
                   bytes ? "wrong bytes" : fetch::format_fetch_error(bytes.error()).c_str());
      return std::nullopt;
    }
    return seconds;
  };

  std::vector<Measured> paths;
  paths.push_back({"curl -o /dev/null", "curl", [&] { return curl_to("/dev/null"); }, {}});
  paths.push_back({"curl -o /dev/shm (tmpfs)", "curl",
                   [&] {
                     const auto seconds = curl_to(shm_file.string());
                     (void)platform::remove_file(shm_file);
                     return seconds;
                   },
                   {}});
  paths.push_back({"get_bytes (whole file)", "whole",
                   [&] {
                     return timed("get_bytes", [&] {
                       return fetch::get_bytes(url, "/file.bin", std::nullopt, 8, fetch::always_continue());
                     });
                   },
                   {}});
  paths.push_back({"download_with_fallback (ranges)", "ranged",
                   [&] {
                     return timed("download_with_fallback", [&] {
                       return fetch::download_with_fallback(url, "/ranged-only/file.bin", size,
                                                            fetch::always_continue());
                     });
                   },
                   {}});
  if (!options.only.empty()) {
    std::erase_if(paths, [&](const Measured& path) { return path.group != options.only; });
  }

  // The paths take turns, so that a slow phase of a shared machine falls on
  // all of them alike.
  for (int run = 0; run < options.runs; ++run) {
    for (Measured& path : paths) {
      const auto seconds = path.run();
      if (!seconds) return 1;
      path.seconds.push_back(*seconds);
    }
  }

  const auto rate = [&](double s) { return static_cast<double>(options.mib) / s; };
  fmt::print("file: {} MiB over TLS from nginx on loopback, {} runs\n", options.mib, options.runs);
  fmt::print("{:<34}{:>12}{:>14}\n", "", "best MiB/s", "median MiB/s");
  for (const Measured& path : paths) {
    fmt::print("{:<34}{:>12.1f}{:>14.1f}\n", path.name, rate(path.best()), rate(path.median()));
  }
  const auto find = [&](const std::string& name) -> const Measured* {
    for (const Measured& path : paths) {
      if (path.name == name) return &path;
    }
    return nullptr;
  };
  for (const Measured* peer : {find("curl -o /dev/null"), find("curl -o /dev/shm (tmpfs)")}) {
    if (peer == nullptr) continue;
    for (const Measured& path : paths) {
      if (path.group == "curl") continue;
      fmt::print("{} / {}: best {:.2f}, median {:.2f}\n", path.name, peer->name, peer->best() / path.best(),
                 peer->median() / path.median());
    }
  }
  return 0;
}
