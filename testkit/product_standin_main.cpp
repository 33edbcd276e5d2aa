// The product stand-in program (testkit/product_standin.hpp).
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include <fmt/format.h>

#include "platform/fs.hpp"
#include "platform/named_mutex.hpp"
#include "platform/path.hpp"

int main(int argc, char** argv) {
  if (!platform::claim_named_mutex("Global\\MORVANE.instance")) return 1;
  if (const char* log = std::getenv("MORVANE_PRODUCT_STANDIN_LOG"); log != nullptr && *log != '\0') {
    const std::string line = fmt::format("{} {}\n", ::getpid(), argc > 1 ? argv[1] : "");
    if (auto file = platform::File::open_append(platform::Path(log))) (void)file->write_all(platform::byte_view(line));
  }
  if (const char* seconds = std::getenv("MORVANE_PRODUCT_SECONDS"); seconds != nullptr && *seconds != '\0') {
    std::this_thread::sleep_for(std::chrono::seconds(std::atoi(seconds)));
    return 0;
  }
  for (;;) ::pause();
}
