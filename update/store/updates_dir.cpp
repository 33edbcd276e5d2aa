#include "update/store/updates_dir.hpp"

#include "platform/bytes.hpp"
#include "platform/fs.hpp"
#include "update/own_file_names.hpp"

namespace update {

namespace {

// Seventeen lines, each ended by a line feed, 1203 bytes of UTF-8. The Persian
// lines hold zero-width non-joiners (written \u200c) inside some words.
constexpr std::string_view kReadme =
    "MORVANE update staging\n"
    "======================\n"
    "\n"
    "This directory belongs to the updater. Everything in it can be deleted safely while MORVANE is\n"
    "not running: the worst cost is downloading the next update again.\n"
    "\n"
    "If the product's exe is missing and a file ending in .old is here, a swap was interrupted.\n"
    "Run the .old file. Every MORVANE binary repairs an interrupted swap at startup, before it opens\n"
    "anything, by reading swap.journal.\n"
    "\n"
    "Nothing outside this directory and the product's own exe is ever written by the updater.\n"
    "\n"
    "راهنمای فارسی\n"
    "- این پوشه متعلق به بهنگام\u200cسازی است و پاک کردن آن بی\u200cخطر است؛ بیش\u200cترین هزینه، دانلود دوباره است.\n"
    "- اگر فایل اجرایی محصول نیست و فایلی با این پسوند اینجا هست، تعویض نیمه\u200cکاره مانده است: .old\n"
    "- در آن حال، همان فایل را اجرا کنید؛ هر باینری در آغاز، تعویض نیمه\u200cکاره را از این فایل ترمیم می\u200cکند: swap.journal\n"
    "- هیچ چیزی بیرون از این پوشه و فایل اجرایی خود محصول نوشته نمی\u200cشود.\n";

static_assert(kReadme.size() == 1203);

}  // namespace

std::string_view updates_readme_text() { return kReadme; }

tl::expected<void, UpdateError> ensure_updates_dir(const platform::Path& updates) {
  if (auto made = platform::create_dirs(updates); !made) {
    return tl::unexpected(io_error_at(updates, made.error()));
  }
  const platform::Path readme = updates / "README.txt";
  if (path_exists(readme)) return {};
  if (auto written = platform::write_file(readme, platform::byte_view(kReadme)); !written) {
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
  return updates / "pending" / platform::path_from_utf8(version);
}

platform::Path history_dir(const platform::Path& updates, std::string_view version) {
  return updates / "history" / platform::path_from_utf8(version);
}

platform::Path journal_path(const platform::Path& updates) { return updates / "swap.journal"; }

platform::Path pin_path(const platform::Path& updates) { return updates / "pinned.json"; }

platform::Path high_water_path(const platform::Path& updates) {
  return updates / "highwater.json";
}

}  // namespace update
