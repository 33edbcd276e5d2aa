#include "update/check/refusals_log.hpp"

#include <fmt/format.h>

#include "platform/fs.hpp"
#include "platform/text.hpp"
#include "update/store/clock.hpp"
#include "update/store/updates_dir.hpp"

namespace update {

namespace {

bool breaks_the_line(char32_t c) {
  return platform::is_unicode_whitespace(c) || c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// The text with every run of white space or control characters made one
// blank, nothing at either end.
std::string on_one_line(std::string_view text) {
  std::string line;
  bool gap = false;
  for (std::size_t pos = 0; pos < text.size();) {
    const char32_t c = platform::next_code_point(text, pos);
    if (breaks_the_line(c)) {
      gap = true;
      continue;
    }
    if (gap && !line.empty()) line.push_back(' ');
    gap = false;
    platform::append_utf8(line, c);
  }
  return line;
}

}  // namespace

std::string refusal_line(std::uint64_t now_ms, std::string_view url, std::string_view claimed_version,
                         const UpdateError& error) {
  std::string claimed = on_one_line(claimed_version);
  if (claimed.empty()) claimed = "unknown";
  return fmt::format("{} | {} | claimed_version={} | {}\n", now_ms, url, claimed, error_one_line(error));
}

void log_refusal(const platform::Path& updates, std::string_view url, std::string_view claimed_version,
                 const UpdateError& error) {
  if (!ensure_updates_dir(updates)) return;
  const std::string line = refusal_line(now_ms(), url, claimed_version, error);
  auto file = platform::File::open_append(refusals_log_path(updates));
  if (!file) return;
  (void)file->write_all(platform::byte_view(line));
}

}  // namespace update
