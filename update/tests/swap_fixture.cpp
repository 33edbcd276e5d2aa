#include "update/tests/swap_fixture.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include "fetch/digest/sha256.hpp"
#include "platform/fs.hpp"
#include "testkit/file_fault_interpose.hpp"
#include "update/store/updates_dir.hpp"
#include "update/swap/finish_swap.hpp"
#include "update/swap/move_triple.hpp"
#include "update/swap/rollback_record.hpp"

namespace swaptest {

using update::SwapJournal;
using update::SwapStep;
using update::UpdateError;

void put(const Path& path, std::string_view text) {
  ASSERT_TRUE(platform::create_dirs(path.parent_path()));
  ASSERT_TRUE(platform::write_file(path, platform::byte_view(text)));
}

std::string content(const Path& path) {
  auto bytes = platform::read_file(path);
  return bytes ? platform::to_string(*bytes) : std::string("<missing>");
}

Tree snapshot(const Path& root, const std::vector<std::string>& skip) {
  Tree tree;
  std::error_code ec;
  if (!std::filesystem::exists(root, ec)) return tree;
  for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    const std::string relative = it->path().lexically_relative(root).generic_string();
    const std::string top = relative.substr(0, relative.find('/'));
    if (std::find(skip.begin(), skip.end(), top) != skip.end()) {
      if (it->is_directory()) it.disable_recursion_pending();
      continue;
    }
    Entry entry;
    if (it->is_directory()) {
      entry.is_dir = true;
    } else {
      auto bytes = platform::read_file(it->path());
      entry.size = bytes ? bytes->size() : 0;
      entry.sha256 = bytes ? fetch::sha256_hex(*bytes) : "<unreadable>";
    }
    tree[relative] = entry;
  }
  return tree;
}

std::string describe(const Tree& tree) {
  std::string out;
  for (const auto& [name, entry] : tree) {
    out += entry.is_dir ? name + "/\n" : name + " " + std::to_string(entry.size) + " " + entry.sha256.substr(0, 12) + "\n";
  }
  return out;
}

namespace {

// Old and new content differ in length as well as bytes.
std::string old_text(const std::string& name) { return "1.0.0 " + name; }
std::string new_text(const std::string& name) { return "release 2.0.0 of " + name; }

// The first companion and the last had a predecessor; the middle one is new.
bool has_predecessor(const std::string& name) { return name != "new.txt"; }

}  // namespace

const std::vector<std::string>& Release::companion_names() {
  static const std::vector<std::string> names = {"a.dll", "new.txt", "sub/b.dat"};
  return names;
}

Release::Release() {
  put(install() / "morvane.exe", old_text("morvane.exe"));
  put(install() / "keep.cfg", "kept as it is");
  for (const auto& name : companion_names()) {
    if (has_predecessor(name)) put(install() / name, old_text(name));
  }
  put(updates() / "README.txt", "the updates folder");
  put(pending() / "morvane.exe", new_text("morvane.exe"));
  for (const auto& name : companion_names()) put(pending() / name, new_text(name));
  put(pending() / "release.json", "{\"version\": \"2.0.0\"}");
  put(pending() / "release.json.sig", "signature");
  put(sibling() / "morvane.exe", "another program's file");

  old_product_ = product();
  staged_ = snapshot(pending());
  sibling_ = snapshot(sibling());

  // What the swap leaves: the new files in place, each replaced file's
  // previous copy beside it as .old.
  testkit::TempDir scratch;
  put(scratch / "keep.cfg", "kept as it is");
  put(scratch / "morvane.exe", new_text("morvane.exe"));
  put(scratch / "morvane.exe.old", old_text("morvane.exe"));
  for (const auto& name : companion_names()) {
    put(scratch / name, new_text(name));
    if (has_predecessor(name)) put(scratch / (name + ".old"), old_text(name));
  }
  new_product_ = snapshot(scratch.path());
}

SwapJournal Release::journal() const {
  SwapJournal journal;
  journal.kind = update::SwapKind::Apply;
  journal.version = "2.0.0";
  journal.previous_version = "1.0.0";
  journal.target = platform::display(install() / "morvane.exe");
  journal.aside = platform::display(install() / "morvane.exe.old");
  journal.incoming = platform::display(pending() / "morvane.exe");
  for (const auto& name : companion_names()) {
    journal.companions.push_back({platform::display(install() / name), platform::display(install() / (name + ".old")),
                                  platform::display(pending() / name), std::nullopt});
  }
  journal.step = SwapStep::Begun;
  journal.exe_dir = platform::display(install());
  journal.updates_dir = platform::display(updates());
  journal.written_at_ms = 1700000000000;
  return journal;
}

tl::expected<void, UpdateError> Release::apply() const {
  using Result = tl::expected<void, UpdateError>;
  SwapJournal journal = this->journal();
  const update::MoveTriple exe = update::main_paths(journal);
  auto move = [](const Path& from, const Path& to) -> Result {
    if (auto moved = platform::rename_replace(from, to); !moved) return tl::unexpected(update::io_error_at(from, moved.error()));
    return {};
  };

  std::vector<Path> existing;
  for (const auto& companion : journal.companions) {
    const Path target = platform::path_from_utf8(companion.target);
    if (platform::is_regular_file(target)) existing.push_back(target);
  }
  if (auto written = update::write_rollback(updates(), exe.target, "1.0.0", existing); !written) {
    return tl::unexpected(written.error());
  }
  if (auto made = update::ensure_updates_dir(updates()); !made) return made;
  if (auto written = update::write_journal(updates(), journal); !written) return written;

  for (const auto& companion : journal.companions) {
    if (auto moved = update::roll_forward(update::companion_paths(companion)); !moved) return moved;
  }
  journal.step = SwapStep::CompanionsMoved;
  if (auto written = update::write_journal(updates(), journal); !written) return written;

  if (auto moved = move(exe.target, exe.aside); !moved) return moved;
  journal.step = SwapStep::MovedAside;
  if (auto written = update::write_journal(updates(), journal); !written) return written;

  if (auto moved = move(exe.incoming, exe.target); !moved) return moved;
  journal.step = SwapStep::MovedIn;
  if (auto written = update::write_journal(updates(), journal); !written) return written;

  return update::finish_swap(updates(), journal, update::SwapDirection::Forward);
}

void Release::apply_until(int done) const {
  testkit::file_faults::Scope scope;
  testkit::file_faults::fail_from(done);
  (void)apply();
}

void Release::expect_whole(Outcome outcome) const {
  const Tree now = product();
  if (outcome == Outcome::Old) {
    EXPECT_EQ(now, old_product_) << "expected the old release, found:\n" << describe(now);
    const Tree pending_now = snapshot(pending());
    EXPECT_EQ(pending_now, staged_) << "expected the staged release intact, found:\n" << describe(pending_now);
  } else {
    EXPECT_EQ(now, new_product_) << "expected the new release, found:\n" << describe(now);
    EXPECT_FALSE(platform::exists(pending())) << "the pending folder is still there";
  }
  EXPECT_FALSE(platform::exists(journal_file())) << "the journal is still there";
  EXPECT_EQ(snapshot(sibling()), sibling_) << "the sibling folder changed";
}

}  // namespace swaptest
