#include "setup/install/reverify_staged.hpp"

#include <optional>

#include "morvane/config.hpp"
#include "platform/bytes.hpp"
#include "platform/fs.hpp"
#include "update/own_file_names.hpp"
#include "update/stage/verify_staged.hpp"
#include "update/store/updates_dir.hpp"

namespace setup {

tl::expected<update::VerifiedRelease, update::UpdateError> reverify_staged(const platform::Path& install_dir,
                                                                           const platform::Path& updates_dir,
                                                                           std::string_view version,
                                                                           std::string_view channel) {
  const platform::Path pending = update::pending_dir(updates_dir, version);
  const platform::Path manifest_path = pending / update::manifest_file_name;
  const platform::Path signature_path = pending / update::signature_file_name;

  auto manifest = platform::read_file(manifest_path);
  if (!manifest) return tl::unexpected(update::io_error_at(manifest_path, manifest.error()));

  std::optional<platform::Bytes> signature;
  if (auto read = platform::read_file(signature_path)) {
    signature = std::move(*read);
  } else if (read.error().kind() != platform::ErrorKind::NotFound) {
    return tl::unexpected(update::io_error_at(signature_path, read.error()));
  }

  std::optional<platform::ByteView> signature_view;
  if (signature) signature_view = platform::ByteView(*signature);
  auto release = update::verify_release(platform::display(manifest_path), *manifest, signature_view,
                                        config::product_lower, channel);
  if (!release) return tl::unexpected(std::move(release.error()));

  if (auto checked = update::verify_staged(pending, release->manifest.files, install_dir); !checked) {
    return tl::unexpected(std::move(checked.error()));
  }
  return release;
}

}  // namespace setup
