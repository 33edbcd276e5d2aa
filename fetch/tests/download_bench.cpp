// Throughput of the download paths against nginx over TLS on loopback, next
// to curl fetching the same file: a whole-file get_bytes, and
// download_with_fallback forced into its ranged fallback (nginx hangs up on a
// request without a Range header below /ranged-only/). Not a test: it prints
// its figures.
//
//   fetch_download_bench [MiB]   (256 unless told)
#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fetch/http/download.hpp"
#include "fetch/http/request.hpp"
#include "fetch/tests/nginx_peer.hpp"
#include "fetch/tests/pki.hpp"
#include "platform/process.hpp"

namespace {

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
  const std::size_t size = mib * 1024 * 1024;
  std::string file(size, '\0');
  for (std::size_t i = 0; i < size; ++i) file[i] = static_cast<char>((i * 2654435761u) >> 24);

  fetch_test::NginxPeer nginx;
  nginx.put("file.bin", file);
  nginx.put("ranged-only/file.bin", file);
  const fetch::ServerUrl url = nginx.url();

  // Each figure is the best of three runs: loopback throughput on a shared
  // machine varies from run to run.
  double whole_s = 1e9, ranged_s = 1e9, curl_s = 1e9;
  for (int run = 0; run < 3; ++run) {
    auto start = std::chrono::steady_clock::now();
    auto whole = fetch::get_bytes(url, "/file.bin", std::nullopt, 8, fetch::always_continue());
    whole_s = std::min(whole_s, seconds_since(start));
    if (!whole || whole->size() != size) {
      std::fprintf(stderr, "get_bytes failed: %s\n",
                   whole ? "wrong size" : fetch::format_fetch_error(whole.error()).c_str());
      return 1;
    }

    start = std::chrono::steady_clock::now();
    auto ranged = fetch::download_with_fallback(url, "/ranged-only/file.bin", size, fetch::always_continue());
    ranged_s = std::min(ranged_s, seconds_since(start));
    if (!ranged || ranged->size() != size) {
      std::fprintf(stderr, "download_with_fallback failed: %s\n",
                   ranged ? "wrong size" : fetch::format_fetch_error(ranged.error()).c_str());
      return 1;
    }

    start = std::chrono::steady_clock::now();
    auto curl =
        platform::run_hidden("curl", {"-s", "-f", "-o", "/dev/null", "--cacert", fetch_test::pki_file("root-ca.pem"),
                                      fmt::format("https://localhost:{}/file.bin", nginx.port())});
    curl_s = std::min(curl_s, seconds_since(start));
    if (!curl || curl->exit_code != 0) {
      std::fprintf(stderr, "curl failed\n");
      return 1;
    }
  }

  const auto rate = [&](double s) { return static_cast<double>(mib) / s; };
  fmt::print("file: {} MiB over TLS from nginx on loopback\n", mib);
  fmt::print("curl                           {:8.1f} MiB/s\n", rate(curl_s));
  fmt::print("get_bytes (whole file)         {:8.1f} MiB/s  {:.2f} x curl\n", rate(whole_s), curl_s / whole_s);
  fmt::print("download_with_fallback (ranges) {:7.1f} MiB/s  {:.2f} x curl\n", rate(ranged_s), curl_s / ranged_s);
  return 0;
}
