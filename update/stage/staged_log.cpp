#include "update/stage/staged_log.hpp"

#include <fmt/format.h>

#include "platform/fs.hpp"
#include "update/store/clock.hpp"
#include "update/store/updates_dir.hpp"

namespace update {

std::string staged_log_line(std::uint64_t at_ms, std::string_view version, std::string_view path,
                            std::string_view text) {
  return fmt::format("{} \u00b7 {} \u00b7 {} \u00b7 {}\n", at_ms, version, path, text);
}

void log_staged(const platform::Path& updates_dir, std::string_view version, std::string_view path,
                std::string_view text) {
  const std::string line = staged_log_line(now_ms(), version, path, text);
  auto file = platform::File::open_append(staged_log_path(updates_dir));
  if (!file) return;
  (void)file->write_all(platform::byte_view(line));
}

}  // namespace update
