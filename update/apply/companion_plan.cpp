#include "update/apply/companion_plan.hpp"

#include "platform/fs.hpp"

namespace update {

platform::Path aside_path_for(const platform::Path& path) {
  platform::Path aside = path;
  aside += aside_suffix;
  return aside;
}

std::optional<Companion> next_companion(const std::vector<FileEntry>& files, std::size_t& cursor,
                                        const platform::Path& pending, const platform::Path& install) {
  while (cursor < files.size()) {
    const FileEntry& entry = files[cursor++];
    if (entry.path == exe_file_name) continue;
    const platform::Path name = platform::path_from_utf8(entry.path);
    const platform::Path incoming = pending / name;
    if (!platform::is_regular_file(incoming)) continue;
    const platform::Path target = install / name;
    return Companion{
        .target = platform::display(target),
        .aside = platform::display(aside_path_for(target)),
        .incoming = platform::display(incoming),
        .park = std::nullopt,
    };
  }
  return std::nullopt;
}

std::vector<Companion> companion_plan(const std::vector<FileEntry>& files, const platform::Path& pending,
                                      const platform::Path& install) {
  std::vector<Companion> plan;
  std::size_t cursor = 0;
  while (auto companion = next_companion(files, cursor, pending, install)) plan.push_back(std::move(*companion));
  return plan;
}

std::optional<platform::Path> next_existing_path(const std::vector<platform::Path>& paths, std::size_t& cursor) {
  while (cursor < paths.size()) {
    const platform::Path& path = paths[cursor++];
    if (platform::is_regular_file(path)) return path;
  }
  return std::nullopt;
}

std::vector<platform::Path> existing_paths(const std::vector<platform::Path>& paths) {
  std::vector<platform::Path> existing;
  std::size_t cursor = 0;
  while (auto path = next_existing_path(paths, cursor)) existing.push_back(std::move(*path));
  return existing;
}

}  // namespace update
