// The test child's modes of every system.
#include "platform/tests/test_child.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/bytes.hpp"
#include "platform/fs.hpp"
#include "platform/named_mutex.hpp"
#include "platform/path.hpp"

namespace platform_test {

namespace {

void write_all(std::FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

// The working folder in UTF-8, into `file` in one piece: written beside it
// first, then renamed onto it, so that a test that sees the file sees all
// of it.
int write_working_folder(const std::string& file) {
  const platform::Path path = platform::path_from_utf8(file);
  platform::Path part = path;
  part += ".part";
  const std::string folder = platform::display(std::filesystem::current_path());
  if (!platform::write_file(part, platform::byte_view(folder))) return 1;
  return platform::rename_replace(part, path) ? 0 : 1;
}

void sleep_for_ms(long ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

int run_test_child(const std::vector<std::string>& args) {
  if (args.empty()) return write_working_folder("started-here.txt");
  const std::string& mode = args[0];
  if (mode == "streams" && args.size() == 4) {
    write_all(stdout, args[1]);
    write_all(stderr, args[2]);
    return std::atoi(args[3].c_str());
  }
  if (mode == "args") {
    for (std::size_t i = 1; i < args.size(); ++i) write_all(stdout, args[i] + "|");
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) write_all(stdout, std::string(buffer, got));
    return 0;
  }
  if (mode == "large" && args.size() == 2) {
    const std::string block(static_cast<std::size_t>(std::atol(args[1].c_str())), '\0');
    write_all(stdout, block);
    write_all(stderr, block);
    return 0;
  }
  if (mode == "hold" && args.size() == 3) {
    if (!platform::claim_named_mutex(args[1])) return 1;
    sleep_for_ms(std::atol(args[2].c_str()) * 1000);
    return 0;
  }
  if (mode == "sleep" && args.size() == 2) {
    sleep_for_ms(std::atol(args[1].c_str()) * 1000);
    return 0;
  }
  if (mode == "later" && args.size() == 3) {
    sleep_for_ms(std::atol(args[1].c_str()));
    return write_working_folder(args[2]);
  }
  return run_system_mode(args);
}

}  // namespace platform_test
