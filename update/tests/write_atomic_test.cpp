#include "update/store/write_atomic.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/fs.hpp"
#include "testkit/file_text.hpp"
#include "testkit/os_codes.hpp"
#include "testkit/temp_dir.hpp"

namespace update {
namespace {

using testkit::read_text;

tl::expected<void, UpdateError> write_text(const platform::Path& path, std::string_view text) {
  return write_atomic(path, platform::byte_view(text));
}

std::vector<std::string> names_in(const platform::Path& folder) {
  auto listing = platform::list_dir(folder);
  EXPECT_TRUE(listing.has_value());
  auto names = listing ? listing->names : std::vector<std::string>{};
  std::sort(names.begin(), names.end());
  return names;
}

TEST(PartPathTest, ReplacesTheLastExtension) {
  struct Case {
    const char* path;
    const char* part;
  };
  const std::vector<Case> cases = {
      {"u/swap.journal", "u/swap.part"},
      {"u/highwater.json", "u/highwater.part"},
      {"u/release.json.sig", "u/release.json.part"},
      {"u/README", "u/README.part"},
      {"u/.bashrc", "u/.bashrc.part"},
      {"u/a.", "u/a.part"},
      {"u/..", "u/...part"},
      {"a.b/name", "a.b/name.part"},  // a dot in a folder's name does not count
      {"swap.journal", "swap.part"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(part_path_for(c.path), platform::Path(c.part)) << c.path;
  }
}

TEST(WriteAtomicTest, CreatesTheParentsAndLeavesNoPartFile) {
  testkit::TempDir dir;
  const auto target = dir / "a" / "b" / "highwater.json";
  ASSERT_TRUE(write_text(target, "{\n  \"x\": 1\n}").has_value());
  EXPECT_EQ(read_text(target), "{\n  \"x\": 1\n}");
  EXPECT_EQ(names_in(dir / "a" / "b"), std::vector<std::string>{"highwater.json"});
}

TEST(WriteAtomicTest, ReplacesTheWholeContent) {
  testkit::TempDir dir;
  const auto target = dir / "swap.journal";
  ASSERT_TRUE(write_text(target, "a long first content").has_value());
  ASSERT_TRUE(write_text(target, "short").has_value());
  EXPECT_EQ(read_text(target), "short");
  ASSERT_TRUE(write_atomic(target, {}).has_value());
  EXPECT_EQ(read_text(target), "");
  EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"swap.journal"});
}

TEST(WriteAtomicTest, TargetsSharingOnePartFileKeepTheirOwnContent) {
  testkit::TempDir dir;
  // Both are written through release.json.part.
  ASSERT_TRUE(write_text(dir / "release.json.sig", "a long signature").has_value());
  ASSERT_TRUE(write_text(dir / "release.json.json", "{}").has_value());
  EXPECT_EQ(read_text(dir / "release.json.sig"), "a long signature");
  EXPECT_EQ(read_text(dir / "release.json.json"), "{}");
  EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"release.json.json", "release.json.sig"}));
}

TEST(WriteAtomicTest, AParentThatIsAFileIsNamed) {
  testkit::TempDir dir;
  ASSERT_TRUE(platform::write_file(dir / "updates", platform::byte_view("x")).has_value());
  const auto result = write_text(dir / "updates" / "history" / "release.json", "{}");
  ASSERT_FALSE(result.has_value());
  ASSERT_TRUE(result.error().is<UpdateError::Io>());
  EXPECT_EQ(result.error().get<UpdateError::Io>()->at, platform::display(dir / "updates" / "history"));
}

TEST(WriteAtomicTest, APartPathThatIsAFolderIsNamedAndTheTargetKept) {
  testkit::TempDir dir;
  ASSERT_TRUE(platform::write_file(dir / "swap.journal", platform::byte_view("old")).has_value());
  ASSERT_TRUE(platform::create_dirs(dir / "swap.part").has_value());
  const auto result = write_text(dir / "swap.journal", "new");
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(display_update_error(result.error()),
            "io error at " + platform::display(dir / "swap.part") + ": " +
                platform::os_error_text(testkit::os_codes::is_a_directory));
  EXPECT_EQ(read_text(dir / "swap.journal"), "old");
}

TEST(WriteAtomicTest, ATargetThatCannotBeReplacedIsNamedAndThePartFileStays) {
  testkit::TempDir dir;
  const auto target = dir / "rollback.json";
  ASSERT_TRUE(platform::create_dirs(target / "inside").has_value());
  const auto result = write_text(target, "new content");
  ASSERT_FALSE(result.has_value());
  ASSERT_TRUE(result.error().is<UpdateError::Io>());
  EXPECT_EQ(result.error().get<UpdateError::Io>()->at, platform::display(target));
  EXPECT_EQ(read_text(dir / "rollback.part"), "new content");
  EXPECT_TRUE(std::filesystem::is_directory(target / "inside"));

  // Once the folder is gone, the next write truncates the part file it left.
  ASSERT_TRUE(platform::remove_dir_all(target).has_value());
  ASSERT_TRUE(write_text(target, "x").has_value());
  EXPECT_EQ(read_text(target), "x");
  EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"rollback.json"});
}

TEST(WriteAtomicTest, AReaderOfTheOldFileKeepsTheOldContent) {
  // The target is replaced by a rename, never rewritten in place. Where the
  // system refuses to rename onto an open file (Windows), the write fails
  // instead and the reader still reads the old content.
  testkit::TempDir dir;
  const auto target = dir / "highwater.json";
  ASSERT_TRUE(write_text(target, "old").has_value());
  auto reader = platform::File::open_read(target);
  ASSERT_TRUE(reader.has_value());
  if (!platform::renames_replace_open_files()) {
    ASSERT_FALSE(write_text(target, "new!").has_value());
    EXPECT_EQ(read_text(target), "old");
    return;
  }
  ASSERT_TRUE(write_text(target, "new!").has_value());
  std::uint8_t buffer[16];
  auto got = reader->read(buffer);
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer), *got), "old");
  EXPECT_EQ(read_text(target), "new!");
}

}  // namespace
}  // namespace update
