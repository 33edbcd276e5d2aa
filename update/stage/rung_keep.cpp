// Rung 2: the installed copy, left where it is when it already is this
// release's file.
#include "fetch/digest/sha256.hpp"
#include "platform/fs.hpp"
#include "update/stage/stage_rungs.hpp"

namespace update::stage {

bool keep_installed_copy(StageContext& context, const FileEntry& entry, const EntryPaths& paths) {
  if (!platform::is_regular_file(paths.installed)) return false;
  auto meta = platform::metadata(paths.installed);
  if (!meta || meta->size != entry.bytes) return false;
  auto digest = fetch::sha256_file_hex(paths.installed, fetch::always_continue());
  if (!digest || *digest != entry.sha256) return false;
  context.log(entry, "kept: the installed file is this release's");
  context.settled(entry, entry.bytes, true);
  return true;
}

}  // namespace update::stage
