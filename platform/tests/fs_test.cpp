#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "platform/fs.hpp"
#include "testkit/file_fault_interpose.hpp"
#include "testkit/os_codes.hpp"
#include "testkit/temp_dir.hpp"

namespace {

using platform::byte_view;
using platform::to_bytes;

TEST(Fs, WriteReadAndMetadata) {
  testkit::TempDir dir;
  const auto file = dir / "a.txt";
  ASSERT_TRUE(platform::write_file(file, byte_view("hello")));
  EXPECT_EQ(platform::read_file(file).value(), to_bytes("hello"));
  const auto meta = platform::metadata(file).value();
  EXPECT_TRUE(meta.is_file);
  EXPECT_FALSE(meta.is_dir);
  EXPECT_EQ(meta.size, 5u);
  EXPECT_TRUE(platform::metadata(dir.path()).value().is_dir);
  EXPECT_TRUE(platform::exists(dir.path()));
  EXPECT_FALSE(platform::is_regular_file(dir.path()));
}

TEST(Fs, MissingPathsReportTheSystemText) {
  testkit::TempDir dir;
  const auto missing = dir / "missing";
  EXPECT_FALSE(platform::exists(missing));
  EXPECT_EQ(platform::read_file(missing).error().text(), platform::os_error_text(testkit::os_codes::not_found));
  EXPECT_EQ(platform::read_file(missing).error().kind(), platform::ErrorKind::NotFound);
  EXPECT_FALSE(platform::remove_file(missing));
}

TEST(Fs, RenameReplacesAnExistingDestination) {
  testkit::TempDir dir;
  ASSERT_TRUE(platform::write_file(dir / "from", byte_view("new")));
  ASSERT_TRUE(platform::write_file(dir / "to", byte_view("old")));
  ASSERT_TRUE(platform::rename_replace(dir / "from", dir / "to"));
  EXPECT_FALSE(platform::exists(dir / "from"));
  EXPECT_EQ(platform::read_file(dir / "to").value(), to_bytes("new"));
}

// A rename is on the disk when it answers, within a folder and from one
// folder to another: a power cut after it cannot bring the old names back
// under what the program writes next.
TEST(Fs, ARenameIsOnTheDiskWhenItAnswers) {
  testkit::TempDir dir;
  ASSERT_TRUE(platform::create_dirs(dir / "other"));
  ASSERT_TRUE(platform::write_file(dir / "a", byte_view("a")));
  testkit::file_faults::Scope scope;
  ASSERT_TRUE(platform::rename_replace(dir / "a", dir / "b"));
  ASSERT_TRUE(platform::rename_replace(dir / "b", dir / "other" / "c"));
  const auto timeline = testkit::file_faults::timeline();
  std::vector<std::string> renames;
  for (std::size_t at = 0; at < timeline.size(); ++at) {
    if (timeline[at].what != "rename") continue;
    renames.push_back(timeline[at].text());
    // On the disk before the next rename began.
    std::size_t next = at + 1;
    while (next < timeline.size() && timeline[next].what == "sync") ++next;
    EXPECT_TRUE(testkit::file_faults::on_disk_before(timeline, at, next)) << timeline[at].text();
  }
  EXPECT_EQ(renames.size(), 2u);
}

// A removal is on the disk when it answers, as a move is: a power cut after
// it cannot bring the file or folder back under what the program writes
// next. Each removal the call made (the entries of a folder included) is on
// the disk by its end.
TEST(Fs, ARemovalIsOnTheDiskWhenItAnswers) {
  struct Case {
    const char* name;
    std::function<platform::IoResult<void>(const platform::Path&)> remove;
    const char* removed;  // relative to the test's folder
  };
  const std::vector<Case> cases = {
      {"remove_file", [](const platform::Path& p) { return platform::remove_file(p); }, "f"},
      {"remove_dir_all", [](const platform::Path& p) { return platform::remove_dir_all(p); }, "d"},
      {"remove_entry of a file", [](const platform::Path& p) { return platform::remove_entry(p); }, "d/e/f"},
      {"remove_entry of a folder", [](const platform::Path& p) { return platform::remove_entry(p); }, "d/e"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    testkit::TempDir dir;
    ASSERT_TRUE(platform::create_dirs(dir / "d" / "e"));
    ASSERT_TRUE(platform::write_file(dir / "d" / "e" / "f", byte_view("x")));
    ASSERT_TRUE(platform::write_file(dir / "d" / "g", byte_view("y")));
    ASSERT_TRUE(platform::write_file(dir / "f", byte_view("z")));
    const platform::Path removed = dir.path() / platform::path_from_utf8(test.removed);
    testkit::file_faults::Scope scope;
    ASSERT_TRUE(test.remove(removed.lexically_normal()));
    EXPECT_FALSE(platform::exists(removed));
    const auto timeline = testkit::file_faults::timeline();
    int removals = 0;
    for (std::size_t at = 0; at < timeline.size(); ++at) {
      if (!testkit::file_faults::is_removal(timeline[at])) continue;
      ++removals;
      EXPECT_TRUE(testkit::file_faults::on_disk_before(timeline, at, timeline.size())) << timeline[at].text();
    }
    EXPECT_GT(removals, 0);
  }
}

TEST(Fs, CreateDirsMakesParentsAndAcceptsExisting) {
  testkit::TempDir dir;
  const auto deep = dir / "a" / "b" / "c";
  ASSERT_TRUE(platform::create_dirs(deep));
  ASSERT_TRUE(platform::create_dirs(deep));
  EXPECT_TRUE(platform::metadata(deep).value().is_dir);
  ASSERT_TRUE(platform::write_file(dir / "file", byte_view("x")));
  EXPECT_FALSE(platform::create_dirs(dir / "file" / "sub"));
}

TEST(Fs, RemoveFileRefusesAFolderAndRemoveDirAllTakesEverything) {
  testkit::TempDir dir;
  ASSERT_TRUE(platform::create_dirs(dir / "d" / "e"));
  ASSERT_TRUE(platform::write_file(dir / "d" / "e" / "f", byte_view("x")));
  EXPECT_FALSE(platform::remove_file(dir / "d"));
  ASSERT_TRUE(platform::remove_dir_all(dir / "d"));
  EXPECT_FALSE(platform::exists(dir / "d"));
  // What is not there is removed already.
  EXPECT_TRUE(platform::remove_dir_all(dir / "d"));
  EXPECT_TRUE(platform::remove_dir_all(dir / "missing" / "deeper"));
}

TEST(Fs, RemoveEntryTakesAFileOrAWholeFolder) {
  testkit::TempDir dir;
  ASSERT_TRUE(platform::create_dirs(dir / "d" / "e"));
  ASSERT_TRUE(platform::write_file(dir / "d" / "e" / "f", byte_view("x")));
  ASSERT_TRUE(platform::write_file(dir / "g", byte_view("y")));
  EXPECT_TRUE(platform::remove_entry(dir / "g"));
  EXPECT_TRUE(platform::remove_entry(dir / "d"));
  EXPECT_FALSE(platform::exists(dir / "g"));
  EXPECT_FALSE(platform::exists(dir / "d"));
  // Nothing there is a file that cannot be removed.
  EXPECT_FALSE(platform::remove_entry(dir / "g"));
}

TEST(Fs, AppendAddsToTheEnd) {
  testkit::TempDir dir;
  for (const char* part : {"one\n", "two\n"}) {
    auto file = platform::File::open_append(dir / "log");
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->write_all(byte_view(part)));
  }
  EXPECT_EQ(platform::read_file(dir / "log").value(), to_bytes("one\ntwo\n"));
}

TEST(Fs, FileReportsLengthReadsInPiecesAndSyncs) {
  testkit::TempDir dir;
  {
    auto file = platform::File::create_truncate(dir / "f").value();
    ASSERT_TRUE(file.write_all(byte_view("abcdef")));
    ASSERT_TRUE(file.sync());
    EXPECT_EQ(file.length().value(), 6u);
  }
  auto file = platform::File::open_read(dir / "f").value();
  std::uint8_t buffer[4];
  EXPECT_EQ(file.read(buffer).value(), 4u);
  EXPECT_EQ(file.read(buffer).value(), 2u);
  EXPECT_EQ(file.read(buffer).value(), 0u);
}

TEST(Fs, OpeningAFolderForReadingFails) {
  testkit::TempDir dir;
  EXPECT_FALSE(platform::File::open_read(dir.path()));
}

TEST(Fs, ListDirGivesEveryEntryButDots) {
  testkit::TempDir dir;
  ASSERT_TRUE(platform::write_file(dir / "a", byte_view("")));
  ASSERT_TRUE(platform::create_dirs(dir / "b"));
  auto listing = platform::list_dir(dir.path()).value();
  std::sort(listing.names.begin(), listing.names.end());
  EXPECT_EQ(listing.names, (std::vector<std::string>{"a", "b"}));
  EXPECT_FALSE(listing.error);
  EXPECT_FALSE(platform::list_dir(dir / "missing"));
}

TEST(Fs, CopyReplacesTheTarget) {
  testkit::TempDir dir;
  ASSERT_TRUE(platform::write_file(dir / "src", byte_view("copy me")));
  ASSERT_TRUE(platform::write_file(dir / "dst", byte_view("old content that is longer")));
  ASSERT_TRUE(platform::copy_file_replace(dir / "src", dir / "dst"));
  EXPECT_EQ(platform::read_file(dir / "dst").value(), to_bytes("copy me"));
  ASSERT_TRUE(platform::copy_file_replace(dir / "src", dir / "new"));
  EXPECT_EQ(platform::read_file(dir / "new").value(), to_bytes("copy me"));
  EXPECT_EQ(platform::copy_file_replace(dir / "missing", dir / "dst").error().text(),
            platform::os_error_text(testkit::os_codes::not_found));
}

// A copy's bytes are on the disk when it answers, so that a caller that
// renames it into place never names a file that a power cut leaves empty.
TEST(Fs, ACopysBytesAreOnTheDiskWhenItAnswers) {
  testkit::TempDir dir;
  ASSERT_TRUE(platform::write_file(dir / "src", byte_view("copy me")));
  const platform::Path copy = platform::comparable_path((dir / "dst").lexically_normal());
  for (const char* state : {"a new target", "an existing target"}) {
    SCOPED_TRACE(state);
    testkit::file_faults::Scope scope;
    ASSERT_TRUE(platform::copy_file_replace(dir / "src", dir / "dst"));
    const auto timeline = testkit::file_faults::timeline();
    EXPECT_TRUE(std::any_of(timeline.begin(), timeline.end(), [&](const testkit::file_faults::Operation& op) {
      return op.what == "sync" && platform::comparable_path(platform::path_from_utf8(op.from).lexically_normal()) == copy;
    })) << "the copy was not flushed";
  }
}

}  // namespace
