#include "setup/tests/product_release.hpp"

#include <stdexcept>

#include "testkit/release/product_standin.hpp"
#include "update/records/version.hpp"

namespace setup_test {

namespace {

// Bytes that look like a library: a fixed pseudo-random stream per name,
// with the version written in at four places, so that two versions of a
// file differ a little and a delta between them is small.
platform::Bytes library_bytes(const std::string& name, const std::string& version) {
  std::uint32_t state = 2166136261u;
  for (const char c : name) state = (state ^ static_cast<std::uint8_t>(c)) * 16777619u;
  const std::size_t size = 24 * 1024 + (state % 8192);
  platform::Bytes bytes(size);
  for (auto& b : bytes) {
    state = state * 1664525u + 1013904223u;
    b = static_cast<std::uint8_t>(state >> 24);
  }
  for (std::size_t place = 1; place <= 4; ++place) {
    const std::size_t at = place * size / 5;
    for (std::size_t i = 0; i < version.size() && at + i < size; ++i) {
      bytes[at + i] = static_cast<std::uint8_t>(version[i]);
    }
  }
  return bytes;
}

}  // namespace

std::vector<std::string> product_file_names() {
  return {"morvane.exe", "libkesto.dll", "libranel.dll", "libqet.dll",
          "libvorda.dll", "libzun.dll",  "libmorvane.dll", "libpelo.dll"};
}

std::vector<testkit::PublishedFile> product_files(const std::string& version) {
  const auto parsed = update::parse_version(version);
  if (!parsed) throw std::invalid_argument("not a version: " + version);
  testkit::PeOptions exe;
  exe.major = static_cast<std::uint16_t>(parsed->major);
  exe.minor = static_cast<std::uint16_t>(parsed->minor);
  exe.patch = static_cast<std::uint16_t>(parsed->patch);

  std::vector<testkit::PublishedFile> files;
  for (const std::string& name : product_file_names()) {
    testkit::PublishedFile file;
    file.name = name;
    file.bytes = name == "morvane.exe" ? testkit::make_product_exe(exe) : library_bytes(name, version);
    files.push_back(std::move(file));
  }
  return files;
}

testkit::Release product_release(const std::string& version, std::int64_t issued_at_ms) {
  testkit::Release release;
  release.version = version;
  release.issued_at_ms = issued_at_ms;
  release.files = product_files(version);
  return release;
}

}  // namespace setup_test
