#include "morvane/config.hpp"
#include "setup/window/status_line.hpp"

#include <cstdint>

#include <fmt/format.h>


namespace setup {

namespace {

// Whole decimal megabytes, rounded up.
std::uint64_t megabytes_up(std::uint64_t bytes) {
  constexpr std::uint64_t megabyte = 1'000'000;
  return bytes / megabyte + (bytes % megabyte != 0 ? 1 : 0);
}

}  // namespace

std::string format_status_line(const SetupStatus& status) {
  const std::string_view version = status.version ? std::string_view(*status.version) : std::string_view();
  switch (status.phase) {
    case SetupPhase::Downloading:
      return fmt::format("Downloading {} {} \u2014 {} of {} MB", config::product_name, version,
                         megabytes_up(status.done_bytes), megabytes_up(status.total_bytes));
    case SetupPhase::Verifying:
      return fmt::format("Checking {} {}\u2026", config::product_name, version);
    case SetupPhase::Installing:
      return fmt::format("Installing {} {}\u2026", config::product_name, version);
    case SetupPhase::Starting:
      break;
  }
  return fmt::format("Asking for the newest {}\u2026", config::product_name);
}

}  // namespace setup
