#include "update/store/updates_dir.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "fetch/digest/sha256.hpp"
#include "platform/fs.hpp"
#include "testkit/file_text.hpp"
#include "testkit/os_codes.hpp"
#include "testkit/temp_dir.hpp"

namespace update {
namespace {

using testkit::read_text;

TEST(UpdatesDirTest, WritesTheReadmeIntoANewFolder) {
  testkit::TempDir dir;
  const auto updates = dir / "inst" / "updates";
  ASSERT_TRUE(ensure_updates_dir(updates).has_value());

  const std::string readme = read_text(updates / "README.txt");
  EXPECT_EQ(readme, updates_readme_text());
  EXPECT_EQ(readme.size(), 1203u);
  EXPECT_EQ(std::count(readme.begin(), readme.end(), '\n'), 17);
  EXPECT_EQ(readme.find('\r'), std::string::npos);
  EXPECT_EQ(readme.rfind("MORVANE update staging\n======================\n\nThis directory", 0), 0u);
  EXPECT_EQ(readme.back(), '\n');
  EXPECT_NE(readme.find("Nothing outside this directory and the product's own exe is ever written "
                        "by the updater.\n\nراهنمای فارسی\n"),
            std::string::npos);
  EXPECT_NE(readme.find("نمی\u200cشود.\n"), std::string::npos);
  EXPECT_EQ(fetch::sha256_hex(platform::byte_view(readme)),
            "baea7c48d9fce4a453dfe6a9b1b927ba57aa0830823085f11b57bee2461c304d");
  // Nothing but the README.
  auto listing = platform::list_dir(updates);
  ASSERT_TRUE(listing.has_value());
  EXPECT_EQ(listing->names, std::vector<std::string>{"README.txt"});
}

TEST(UpdatesDirTest, LeavesAnExistingReadmeAlone) {
  testkit::TempDir dir;
  const auto updates = dir / "updates";
  ASSERT_TRUE(platform::create_dirs(updates).has_value());
  ASSERT_TRUE(platform::write_file(updates / "README.txt", platform::byte_view("edited\r\n")).has_value());
  ASSERT_TRUE(ensure_updates_dir(updates).has_value());
  EXPECT_EQ(read_text(updates / "README.txt"), "edited\r\n");

  // A second call on a folder it set up itself changes nothing either.
  const auto fresh = dir / "fresh";
  ASSERT_TRUE(ensure_updates_dir(fresh).has_value());
  ASSERT_TRUE(ensure_updates_dir(fresh).has_value());
  EXPECT_EQ(read_text(fresh / "README.txt"), updates_readme_text());
}

TEST(UpdatesDirTest, AFolderNamedReadmeCountsAsPresent) {
  testkit::TempDir dir;
  const auto updates = dir / "updates";
  ASSERT_TRUE(platform::create_dirs(updates / "README.txt").has_value());
  ASSERT_TRUE(ensure_updates_dir(updates).has_value());
  EXPECT_TRUE(std::filesystem::is_directory(updates / "README.txt"));
}

TEST(UpdatesDirTest, FailuresNameTheFolderOrTheReadme) {
  testkit::TempDir dir;
  // The updates folder cannot be made: a file stands in its place.
  ASSERT_TRUE(platform::write_file(dir / "file", platform::byte_view("x")).has_value());
  const auto blocked = ensure_updates_dir(dir / "file");
  ASSERT_FALSE(blocked.has_value());
  ASSERT_TRUE(blocked.error().is<UpdateError::Io>());
  EXPECT_EQ(blocked.error().get<UpdateError::Io>()->at, platform::display(dir / "file"));

  // README.txt is a link to a folder that is not there: it does not exist,
  // and it cannot be written.
  const auto updates = dir / "updates";
  ASSERT_TRUE(platform::create_dirs(updates).has_value());
  std::error_code no_links;
  std::filesystem::create_symlink(dir / "nowhere" / "README.txt", updates / "README.txt", no_links);
  if (no_links) GTEST_SKIP() << "no symbolic links here: " << no_links.message();
  const auto unwritable = ensure_updates_dir(updates);
  ASSERT_FALSE(unwritable.has_value());
  EXPECT_EQ(display_update_error(unwritable.error()),
            "io error at " + platform::display(updates / "README.txt") +
                ": " + platform::os_error_text(testkit::os_codes::not_found));
}

TEST(UpdatesDirTest, NamesOfTheRecords) {
  const platform::Path updates = platform::Path("inst") / "updates";
  EXPECT_EQ(pending_dir(updates, "1.2.3+b7"), updates / "pending" / "1.2.3+b7");
  EXPECT_EQ(history_dir(updates, "1.2.3"), updates / "history" / "1.2.3");
  EXPECT_EQ(readme_path(updates), updates / "README.txt");
  EXPECT_EQ(journal_path(updates), updates / "swap.journal");
  EXPECT_EQ(rollback_path(updates), updates / "rollback.json");
  EXPECT_EQ(pin_path(updates), updates / "pinned.json");
  EXPECT_EQ(high_water_path(updates), updates / "highwater.json");
  EXPECT_EQ(refusals_log_path(updates), updates / "refusals.log");
  EXPECT_EQ(staged_log_path(updates), updates / "staged.log");
  EXPECT_EQ(setup_log_path(updates), updates / "setup.log");
}

TEST(UpdatesDirTest, PathExistsForFilesAndFolders) {
  testkit::TempDir dir;
  ASSERT_TRUE(platform::write_file(dir / "f", platform::byte_view("")).has_value());
  std::error_code no_links;
  std::filesystem::create_symlink(dir / "missing", dir / "dangling", no_links);
  if (no_links) GTEST_SKIP() << "no symbolic links here: " << no_links.message();
  EXPECT_TRUE(path_exists(dir / "f"));
  EXPECT_TRUE(path_exists(dir.path()));
  EXPECT_FALSE(path_exists(dir / "missing"));
  EXPECT_FALSE(path_exists(dir / "dangling"));
  EXPECT_FALSE(path_exists(dir / "f" / "below"));
}

}  // namespace
}  // namespace update
