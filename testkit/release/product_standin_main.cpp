// The product stand-in program (testkit/release/product_standin.hpp).
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include <fmt/format.h>

#include "platform/env.hpp"
#include "platform/fs.hpp"
#include "platform/named_mutex.hpp"
#include "platform/path.hpp"
#include "platform/process.hpp"

int main(int argc, char** argv) {
  if (!platform::claim_named_mutex("Global\\MORVANE.instance")) return 1;
  if (auto log = platform::env_var("MORVANE_PRODUCT_STANDIN_LOG"); log && !log->empty()) {
    const std::string line = fmt::format("{} {}\n", platform::process_id(), argc > 1 ? argv[1] : "");
    if (auto file = platform::File::open_append(platform::path_from_utf8(*log))) {
      (void)file->write_all(platform::byte_view(line));
    }
  }
  if (auto seconds = platform::env_var("MORVANE_PRODUCT_SECONDS"); seconds && !seconds->empty()) {
    std::this_thread::sleep_for(std::chrono::seconds(std::atoi(seconds->c_str())));
    return 0;
  }
  for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}
