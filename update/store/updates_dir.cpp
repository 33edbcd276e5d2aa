#include "update/store/updates_dir.hpp"

#include <string>

#include <fmt/format.h>

#include "morvane/config.hpp"
#include "platform/bytes.hpp"
#include "platform/fs.hpp"
#include "update/own_file_names.hpp"

namespace update {

namespace {

// Seventeen lines, each ended by a line feed, 1203 bytes of UTF-8 once {0}
// is the product word in upper case. The Persian lines hold zero-width
// non-joiners (written \u200c) inside some words.
constexpr std::string_view kReadme =
    "{0} update staging\n"
    "======================\n"
    "\n"
    "This directory belongs to the updater. Everything in it can be deleted safely while {0} is\n"
    "not running: the worst cost is downloading the next update again.\n"
    "\n"
    "If the product's exe is missing and a file ending in .old is here, a swap was interrupted.\n"
    "Run the .old file. Every {0} binary repairs an interrupted swap at startup, before it opens\n"
    "anything, by reading swap.journal.\n"
    "\n"
    "Nothing outside this directory and the product's own exe is ever written by the updater.\n"
    "\n"
    "راهنمای فارسی\n"
    "- این پوشه متعلق به بهنگام\u200cسازی است و پاک کردن آن بی\u200cخطر است؛ بیش\u200cترین هزینه، دانلود دوباره است.\n"
    "- اگر فایل اجرایی محصول نیست و فایلی با این پسوند اینجا هست، تعویض نیمه\u200cکاره مانده است: .old\n"
    "- در آن حال، همان فایل را اجرا کنید؛ هر باینری در آغاز، تعویض نیمه\u200cکاره را از این فایل ترمیم می\u200cکند: swap.journal\n"
    "- هیچ چیزی بیرون از این پوشه و فایل اجرایی خود محصول نوشته نمی\u200cشود.\n";

platform::Path in_updates(const platform::Path& updates, std::string_view name) {
  return updates / platform::path_from_utf8(name);
}

}  // namespace

std::string_view updates_readme_text() {
  static const std::string text = fmt::format(kReadme, config::product_upper);
  return text;
}

tl::expected<void, UpdateError> ensure_updates_dir(const platform::Path& updates) {
  if (auto made = platform::create_dirs(updates); !made) {
    return tl::unexpected(io_error_at(updates, made.error()));
  }
  const platform::Path readme = readme_path(updates);
  if (path_exists(readme)) return {};
  if (auto written = platform::write_file(readme, platform::byte_view(updates_readme_text())); !written) {
    return tl::unexpected(io_error_at(readme, written.error()));
  }
  return {};
}

platform::Path updates_dir_in(const platform::Path& install_dir) {
  return install_dir / platform::path_from_utf8(updates_folder_name);
}

bool path_exists(const platform::Path& path) { return platform::exists(path); }

bool is_plain_folder_name(std::string_view version) {
  if (version.empty() || version == "." || version == "..") return false;
  // Windows drops a trailing point or blank from a name, so "2.0.0+x." would
  // be the folder of "2.0.0+x".
  if (version.back() == '.' || version.back() == ' ') return false;
  for (const char c : version) {
    if (c == '/' || c == '\\' || c == ':' || c == '\0') return false;
  }
  return true;
}

platform::Path pending_dir(const platform::Path& updates, std::string_view version) {
  return in_updates(updates, pending_folder_name) / platform::path_from_utf8(version);
}

platform::Path history_dir(const platform::Path& updates, std::string_view version) {
  return in_updates(updates, history_folder_name) / platform::path_from_utf8(version);
}

platform::Path readme_path(const platform::Path& updates) { return in_updates(updates, readme_file_name); }

platform::Path journal_path(const platform::Path& updates) { return in_updates(updates, journal_file_name); }

platform::Path rollback_path(const platform::Path& updates) { return in_updates(updates, rollback_file_name); }

platform::Path pin_path(const platform::Path& updates) { return in_updates(updates, pin_file_name); }

platform::Path high_water_path(const platform::Path& updates) { return in_updates(updates, high_water_file_name); }

platform::Path refusals_log_path(const platform::Path& updates) {
  return in_updates(updates, refusals_log_file_name);
}

platform::Path staged_log_path(const platform::Path& updates) { return in_updates(updates, staged_log_file_name); }

platform::Path setup_log_path(const platform::Path& updates) { return in_updates(updates, setup_log_file_name); }

}  // namespace update
