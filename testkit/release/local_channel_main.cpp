// morvane-local-channel: a local release channel for trying the installer
// by hand (scripts/install-local uses it). Publishes a small signed sample
// release into a folder and serves it with nginx over HTTPS on the port of
// the test build's compiled-in release host, until it gets SIGTERM or
// SIGINT (nginx ends by itself after two minutes in any case).
//
//   morvane-local-channel <folder>
//
// Prints one line "serving <version> at <url>" once the channel answers,
// then one line per file of the release; a failure is one line on standard
// error and exit code 1.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <exception>
#include <string>
#include <thread>

#include <fmt/format.h>

#include "fetch/http/server_url.hpp"
#include "morvane/config.hpp"
#include "platform/bytes.hpp"
#include "testkit/release/product_standin.hpp"
#include "testkit/release/release_host.hpp"
#include "testkit/release/release_publisher.hpp"
#include "update/check/release_path.hpp"
#include "update/store/clock.hpp"

namespace {

volatile std::sig_atomic_t stop_requested = 0;

void request_stop(int) { stop_requested = 1; }

constexpr const char* kVersion = "1.0.0";

// The sample release: the product stand-in as morvane.exe and the seven
// libraries that every release must carry, each a few lines of text.
testkit::Release sample_release() {
  testkit::Release release;
  release.version = kVersion;
  release.label = "local";
  release.issued_at_ms = static_cast<std::int64_t>(update::now_ms());
  release.files.push_back({.name = "morvane.exe", .bytes = testkit::make_product_exe({.major = 1})});
  for (const char* library : {"kesto", "ranel", "qet", "vorda", "zun", "morvane", "pelo"}) {
    const std::string name = fmt::format("lib{}.dll", library);
    std::string text;
    for (int line = 0; line < 200; ++line) text += fmt::format("{} {} sample line {}\n", name, kVersion, line);
    release.files.push_back({.name = name, .bytes = platform::to_bytes(text)});
  }
  return release;
}

int run(const platform::Path& folder) {
  const auto url = fetch::parse_server_url(config::release_host_url);
  if (!url) {
    throw std::runtime_error("this build's release host URL does not parse: " + std::string(config::release_host_url));
  }
  if (url->host != "localhost" && url->host != "127.0.0.1") {
    throw std::runtime_error("this build's release host is not local (" + std::string(config::release_host_url) +
                             "): configure it with -DMORVANE_PROFILE=test");
  }

  auto published = testkit::publish_release(folder, sample_release());
  if (!published) throw std::runtime_error(published.error());

  std::signal(SIGTERM, request_stop);
  std::signal(SIGINT, request_stop);
  const testkit::ReleaseHost host(folder, url->port);
  fmt::print("serving {} at {}{}/release.json\n", kVersion, host.base_url(),
             update::release_path(testkit::kPublishedProduct, testkit::kPublishedChannel));
  for (const auto& file : published->manifest.files) {
    fmt::print("  {}  {} bytes  sha256 {}\n", file.path, file.bytes, file.sha256);
  }
  std::fflush(stdout);
  while (stop_requested == 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: morvane-local-channel <folder>\n");
    return 2;
  }
  try {
    return run(platform::Path(argv[1]));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "morvane-local-channel: %s\n", e.what());
    return 1;
  }
}
