// An installation with release 1.0.0 in place and release 2.0.0 staged in
// updates/pending/2.0.0, the journal that swapping it in writes, the swap
// itself driven step by step as the apply step drives it, and whole-tree
// snapshots to tell the old release, the new one and anything in between.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <tl/expected.hpp>

#include "platform/path.hpp"
#include "testkit/temp_dir.hpp"
#include "update/error.hpp"
#include "update/journal/swap_journal.hpp"

namespace swaptest {

using platform::Path;

// Writes the text to the path, making its folders first.
void put(const Path& path, std::string_view text);
// The file's whole content; "<missing>" when it cannot be read.
std::string content(const Path& path);

struct Entry {
  bool is_dir = false;
  std::uint64_t size = 0;
  std::string sha256;
  bool operator==(const Entry&) const = default;
};
// Every file and folder below a root, by relative path, with each file's size
// and SHA-256.
using Tree = std::map<std::string, Entry>;
// `skip` names top-level entries that are left out.
Tree snapshot(const Path& root, const std::vector<std::string>& skip = {});
// The tree as lines, for failure messages.
std::string describe(const Tree& tree);

enum class Outcome { Old, New };

class Release {
 public:
  // The release's other files move in the order of companion_names(); each
  // one's old and new content is made up from its name. new.txt is new in
  // 2.0.0 and has no predecessor; keep.cfg is not part of the swap.
  Release();

  const Path& root() const { return temp_.path(); }
  Path install() const { return root() / "MORVANE"; }
  Path updates() const { return install() / "updates"; }
  Path pending() const { return updates() / "pending" / "2.0.0"; }
  // A sibling of the install folder whose name begins with the folder's.
  Path sibling() const { return root() / "MORVANE2"; }
  Path journal_file() const { return updates() / "swap.journal"; }

  static const std::vector<std::string>& companion_names();

  // The journal of the swap, at Begun, with the paths of this installation.
  update::SwapJournal journal() const;

  // The install folder (the updates folder left out) before and after.
  const Tree& old_product() const { return old_product_; }
  const Tree& new_product() const { return new_product_; }
  // updates/pending/2.0.0 as staging left it.
  const Tree& staged() const { return staged_; }

  // The product's files without the updates folder.
  Tree product() const { return snapshot(install(), {"updates"}); }

  // Swaps release 2.0.0 in as the apply step does: the rollback record, the
  // journal at Begun, each companion forward, CompanionsMoved, the executable
  // aside, MovedAside, the new executable in, MovedIn, then the forward
  // finish. The first failure ends it.
  tl::expected<void, update::UpdateError> apply() const;

  // The swap stopped after its first `done` file operations (moves and
  // removals), as a crash there leaves it: the operation after them fails
  // and the swap stops at that failure.
  void apply_until(int done) const;

  // Fails the test unless the installation is wholly the old release (the
  // staged release intact in pending) or wholly the new one (pending gone),
  // with no journal and the sibling folder untouched.
  void expect_whole(Outcome outcome) const;

 private:
  testkit::TempDir temp_;
  Tree old_product_;
  Tree new_product_;
  Tree staged_;
  Tree sibling_;
};

}  // namespace swaptest
