// The file operations that every system does the same way, over the
// system's own File and metadata.
#include <algorithm>

#include "platform/fs.hpp"

namespace platform {

bool exists(const Path& path) { return metadata(path).has_value(); }

bool is_regular_file(const Path& path) {
  auto meta = metadata(path);
  return meta && meta->is_file;
}

IoResult<void> remove_entry(const Path& path) {
  const auto meta = metadata(path);
  if (meta && meta->is_dir) return remove_dir_all(path);
  return remove_file(path);
}

IoResult<Bytes> read_file(const Path& path) {
  auto file = File::open_read(path);
  if (!file) return tl::unexpected(file.error());
  // Read straight into the buffer, sized by the length the file has now; a
  // file that grows meanwhile is read to its end all the same.
  Bytes content;
  if (auto length = file->length(); length && *length < (std::uint64_t{1} << 40)) {
    content.reserve(static_cast<std::size_t>(*length) + 1);
  }
  std::size_t used = 0;
  for (;;) {
    if (content.size() - used < 65536) content.resize(std::max(content.size() * 2, used + 65536));
    auto got = file->read(std::span(content.data() + used, content.size() - used));
    if (!got) return tl::unexpected(got.error());
    if (*got == 0) break;
    used += *got;
  }
  content.resize(used);
  return content;
}

IoResult<void> write_file(const Path& path, ByteView bytes) {
  auto file = File::create_truncate(path);
  if (!file) return tl::unexpected(file.error());
  return file->write_all(bytes);
}

}  // namespace platform
