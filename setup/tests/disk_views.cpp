#include "setup/tests/disk_views.hpp"

#include <filesystem>

#include "platform/fs.hpp"

namespace setup_test {

std::map<std::string, platform::Bytes> tree_of(const platform::Path& folder) {
  std::map<std::string, platform::Bytes> tree;
  std::error_code ec;
  if (!std::filesystem::exists(folder, ec)) return tree;
  for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_regular_file()) continue;
    auto bytes = platform::read_file(it->path());
    tree[std::filesystem::relative(it->path(), folder).generic_string()] =
        bytes ? std::move(*bytes) : platform::to_bytes("(unreadable)");
  }
  return tree;
}

std::vector<std::string> log_texts(const platform::Path& log) {
  std::vector<std::string> texts;
  const std::string text = read_text(log);
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    const std::size_t blank = line.find(' ');
    const bool timed = blank != std::string::npos && blank > 0 &&
                       line.find_first_not_of("0123456789") == blank;
    texts.push_back(timed ? line.substr(blank + 1) : "(no time) " + line);
    start = end + 1;
  }
  return texts;
}

}  // namespace setup_test
