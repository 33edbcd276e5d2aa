// What files do here that they do not do on Windows: permission bits, links,
// a disk that fills up, the C library's error texts.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/fs.hpp"
#include "testkit/file_fault_interpose.hpp"
#include "testkit/small_disk.hpp"
#include "testkit/temp_dir.hpp"

namespace {

using platform::byte_view;
using platform::to_bytes;

unsigned mode_of(const platform::Path& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// A folder that create_dirs makes is flushed into its parent, so that a
// file renamed into it later cannot be lost with the folder in a power cut.
// (On Windows the file system's log keeps a folder that was made before a
// write-through move.)
TEST(Fs, EveryFolderThatCreateDirsMakesIsFlushedIntoItsParent) {
  testkit::TempDir dir;
  ASSERT_TRUE(platform::create_dirs(dir / "a"));
  testkit::file_faults::Scope scope;
  ASSERT_TRUE(platform::create_dirs(dir / "a" / "b" / "c"));
  std::vector<std::filesystem::path> flushed;
  for (const auto& op : testkit::file_faults::timeline()) {
    if (op.what == "sync") flushed.push_back(std::filesystem::path(op.from).lexically_normal());
  }
  const auto canonical = [](const std::filesystem::path& path) { return std::filesystem::canonical(path); };
  EXPECT_EQ(flushed, (std::vector<std::filesystem::path>{canonical(dir / "a"), canonical(dir / "a" / "b")}));
  // A folder that was there already is not flushed again.
  testkit::file_faults::reset();
  ASSERT_TRUE(platform::create_dirs(dir / "a" / "b" / "c"));
  EXPECT_TRUE(testkit::file_faults::timeline().empty());
}

TEST(Fs, CopyTakesTheSourcesMode) {
  testkit::TempDir dir;
  ASSERT_TRUE(platform::write_file(dir / "src", byte_view("copy me")));
  ASSERT_EQ(::chmod((dir / "src").c_str(), 0751), 0);
  ASSERT_TRUE(platform::write_file(dir / "dst", byte_view("old content that is longer")));
  ASSERT_TRUE(platform::copy_file_replace(dir / "src", dir / "dst"));
  EXPECT_EQ(platform::read_file(dir / "dst").value(), to_bytes("copy me"));
  EXPECT_EQ(mode_of(dir / "dst"), 0751u);
  ASSERT_TRUE(platform::copy_file_replace(dir / "src", dir / "new"));
  EXPECT_EQ(platform::read_file(dir / "new").value(), to_bytes("copy me"));
}

TEST(Fs, CopyFailuresAreTheSystemsOwn) {
  testkit::TempDir dir;
  ASSERT_TRUE(platform::write_file(dir / "src", byte_view("copy me")));
  ASSERT_TRUE(platform::create_dirs(dir / "folder"));
  EXPECT_EQ(platform::copy_file_replace(dir / "missing", dir / "dst").error().text(),
            "No such file or directory (os error 2)");
  EXPECT_EQ(platform::copy_file_replace(dir / "folder", dir / "dst").error().text(), "Is a directory (os error 21)");
  EXPECT_EQ(platform::copy_file_replace(dir / "src", dir / "folder").error().text(), "Is a directory (os error 21)");
  EXPECT_EQ(platform::copy_file_replace(dir / "src", dir / "none" / "dst").error().text(),
            "No such file or directory (os error 2)");
  // A file copied onto itself, here through a link, is left as it was.
  std::filesystem::create_symlink(dir / "src", dir / "link");
  EXPECT_FALSE(platform::copy_file_replace(dir / "src", dir / "link"));
  EXPECT_EQ(platform::read_file(dir / "src").value(), to_bytes("copy me"));
}

// A disk that fills up part-way through a copy or a write: the failure is the
// system's "No space left on device", whatever the size of the last piece
// that still went out.
TEST(Fs, AFullDiskIsReportedAsSuch) {
  testkit::SmallDisk disk(1 << 20);
  if (!disk.failure().empty()) GTEST_SKIP() << disk.failure();
  testkit::TempDir dir;
  const platform::Bytes big(3 << 20, 0x5a);
  ASSERT_TRUE(platform::write_file(dir / "big", big));
  const std::string full = "No space left on device (os error 28)";

  const auto copied = platform::copy_file_replace(dir / "big", disk.path() / "copy");
  ASSERT_FALSE(copied);
  EXPECT_EQ(copied.error().text(), full);
  ASSERT_TRUE(platform::remove_file(disk.path() / "copy"));

  const auto written = platform::write_file(disk.path() / "written", big);
  ASSERT_FALSE(written);
  EXPECT_EQ(written.error().text(), full);
  ASSERT_TRUE(platform::remove_file(disk.path() / "written"));

  // One byte short of room, in pieces of every size.
  ASSERT_EQ(disk.fill(64 << 10), "");
  const platform::Bytes piece(disk.free_bytes() + 1, 0x5a);
  auto file = platform::File::create_truncate(disk.path() / "pieces");
  ASSERT_TRUE(file);
  const auto put = file->write_all(piece);
  ASSERT_FALSE(put);
  EXPECT_EQ(put.error().text(), full);
}

TEST(Fs, SameFileComparesWhatThePathsLeadTo) {
  testkit::TempDir dir;
  ASSERT_TRUE(platform::create_dirs(dir / "real"));
  ASSERT_TRUE(platform::write_file(dir / "real" / "a", byte_view("same bytes")));
  ASSERT_TRUE(platform::write_file(dir / "real" / "b", byte_view("same bytes")));
  std::filesystem::create_directory_symlink(dir / "real", dir / "linked");
  std::filesystem::create_hard_link(dir / "real" / "a", dir / "hard");
  const struct {
    platform::Path a;
    platform::Path b;
    bool same;
  } cases[] = {
      {dir / "real" / "a", dir / "real" / "a", true},
      {dir / "real" / "a", dir / "linked" / "a", true},
      {dir / "real" / "a", dir / "real" / ".." / "real" / "a", true},
      {dir / "real" / "a", dir / "hard", true},
      {dir / "real", dir / "linked", true},
      {dir / "real" / "a", dir / "real" / "b", false},
      {dir / "real" / "a", dir / "real" / "missing", false},
      {dir / "missing", dir / "missing", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.a.string() + " and " + c.b.string());
    EXPECT_EQ(platform::same_file(c.a, c.b), c.same);
    EXPECT_EQ(platform::same_file(c.b, c.a), c.same);
  }
}

TEST(Fs, RemoveEntryTakesALinkToAFolderAsTheLink) {
  testkit::TempDir dir;
  ASSERT_TRUE(platform::create_dirs(dir / "real"));
  ASSERT_TRUE(platform::write_file(dir / "real" / "kept", byte_view("x")));
  std::filesystem::create_directory_symlink(dir / "real", dir / "linked");
  ASSERT_TRUE(platform::remove_entry(dir / "linked"));
  EXPECT_FALSE(std::filesystem::is_symlink(dir / "linked"));
  EXPECT_TRUE(platform::exists(dir / "real" / "kept"));
}

TEST(Fs, MarkExecutableLetsWhoeverMayReadItRunIt) {
  testkit::TempDir dir;
  const struct {
    unsigned before;
    unsigned after;
  } cases[] = {{0644, 0755}, {0600, 0700}, {0640, 0750}, {0755, 0755}, {0000, 0000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.before);
    const auto file = dir / "program";
    ASSERT_TRUE(platform::write_file(file, byte_view("#!/bin/sh\n")));
    ASSERT_EQ(::chmod(file.c_str(), c.before), 0);
    ASSERT_TRUE(platform::mark_executable(file));
    EXPECT_EQ(mode_of(file), c.after);
    ASSERT_TRUE(platform::remove_file(file));
  }
  EXPECT_EQ(platform::mark_executable(dir / "missing").error().text(), "No such file or directory (os error 2)");
}

}  // namespace
