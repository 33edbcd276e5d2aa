#include "update/store/history.hpp"

#include "platform/fs.hpp"
#include "update/own_file_names.hpp"
#include "update/store/updates_dir.hpp"
#include "update/store/write_atomic.hpp"

namespace update {

tl::expected<void, UpdateError> write_history_atomically(const platform::Path& updates, std::string_view version,
                                                         platform::ByteView manifest_bytes,
                                                         platform::ByteView signature) {
  const platform::Path folder = history_dir(updates, version);
  if (auto written = write_atomic(folder / platform::path_from_utf8(manifest_file_name), manifest_bytes); !written) {
    return written;
  }
  return write_atomic(folder / platform::path_from_utf8(signature_file_name), signature);
}

void write_history_best_effort(const platform::Path& updates, std::string_view version,
                               platform::ByteView manifest_bytes, platform::ByteView signature) {
  const platform::Path folder = history_dir(updates, version);
  (void)platform::create_dirs(folder);
  (void)platform::write_file(folder / platform::path_from_utf8(manifest_file_name), manifest_bytes);
  (void)platform::write_file(folder / platform::path_from_utf8(signature_file_name), signature);
}

}  // namespace update
