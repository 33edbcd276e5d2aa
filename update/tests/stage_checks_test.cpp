// The checks around staging that need no server: the capped writer of the
// xz rung, the size-and-digest check of a download, and the last
// verification of the staged files.
#include <gtest/gtest.h>

#include <cctype>

#include "fetch/digest/sha256.hpp"
#include "platform/fs.hpp"
#include "update/stage/capped_file_writer.hpp"
#include "update/stage/check_download.hpp"
#include "update/stage/verify_staged.hpp"
#include "update/tests/stage_fixture.hpp"

namespace stagetest {
namespace {

using update::UpdateError;

update::CappedFileWriter writer_at(const Path& path, std::uint64_t limit) {
  auto file = platform::File::create_truncate(path);
  EXPECT_TRUE(file);
  return update::CappedFileWriter(std::move(*file), limit);
}

TEST(CappedFileWriter, TakesWritesUpToTheLimitThroughItsBuffer) {
  testkit::TempDir dir;
  const Path path = dir / "out.part";
  const Bytes data = file_bytes(30000, 91);
  {
    auto writer = writer_at(path, data.size());
    // Small writes wait in the 8,192-byte buffer; a large one goes straight
    // through after what is buffered.
    ASSERT_TRUE(writer.write(platform::ByteView(data).subspan(0, 8000)));
    ASSERT_TRUE(writer.write(platform::ByteView(data).subspan(8000, 192)));
    EXPECT_EQ(platform::metadata(path)->size, 0u) << "8,192 bytes fit in the buffer";
    ASSERT_TRUE(writer.write(platform::ByteView(data).subspan(8192, 20000)));
    EXPECT_EQ(platform::metadata(path)->size, 28192u);
    ASSERT_TRUE(writer.write(platform::ByteView(data).subspan(28192)));
    EXPECT_EQ(writer.written(), data.size());
  }
  EXPECT_EQ(content(path), platform::to_string(data)) << "closing flushes the rest";
}

TEST(CappedFileWriter, RefusesTheWholeWriteThatWouldPassTheLimit) {
  testkit::TempDir dir;
  const Path path = dir / "out.part";
  const Bytes data = file_bytes(100, 92);
  auto writer = writer_at(path, 100);
  ASSERT_TRUE(writer.write(platform::ByteView(data).subspan(0, 60)));
  ASSERT_TRUE(writer.write(platform::ByteView(data).subspan(60, 40))) << "the limit itself is allowed";
  const Bytes one_more(1, 0x55);
  const auto past = writer.write(one_more);
  ASSERT_FALSE(past);
  EXPECT_EQ(past.error().text(), "the output passes the signed size of 100 bytes");
  EXPECT_EQ(writer.written(), 100u);
  writer.close();
  EXPECT_EQ(content(path), platform::to_string(data)) << "nothing of the refused write reached the file";
}

TEST(CappedFileWriter, ARefusalPartWayLeavesOnlyTheAcceptedBytes) {
  testkit::TempDir dir;
  const Path path = dir / "out.part";
  const Bytes data = file_bytes(20000, 93);
  auto writer = writer_at(path, 12000);
  ASSERT_TRUE(writer.write(platform::ByteView(data).subspan(0, 10000)));
  const auto past = writer.write(platform::ByteView(data).subspan(10000, 2001));
  ASSERT_FALSE(past);
  EXPECT_EQ(past.error().text(), "the output passes the signed size of 12000 bytes");
  EXPECT_EQ(writer.written(), 10000u);
  ASSERT_TRUE(writer.flush());
  EXPECT_EQ(content(path), platform::to_string(Bytes(data.begin(), data.begin() + 10000)));
}

TEST(CheckDownload, SizeFirstThenTheDigestByteForByte) {
  const Bytes bytes = file_bytes(1000, 94);
  const std::string digest = fetch::sha256_hex(bytes);
  std::string upper = digest;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  struct Case {
    const char* name;
    std::uint64_t size;
    std::string sha256;
    std::optional<UpdateError> error;
  };
  const std::vector<Case> cases = {
      {"as signed", 1000, digest, std::nullopt},
      {"another size (and digest)", 999, std::string(64, '0'), UpdateError{UpdateError::SizeMismatch{"a.xz", 999, 1000}}},
      {"another digest", 1000, std::string(64, '0'),
       UpdateError{UpdateError::HashMismatch{"a.xz", std::string(64, '0'), digest}}},
      {"the digest in upper case", 1000, upper, UpdateError{UpdateError::HashMismatch{"a.xz", upper, digest}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto checked = update::check_download("a.xz", bytes, c.size, c.sha256);
    if (c.error) {
      ASSERT_FALSE(checked);
      EXPECT_EQ(checked.error(), *c.error);
    } else {
      EXPECT_TRUE(checked);
    }
  }
}

// verify_staged reports the first failing entry in list order, and for one
// entry looks at existence, then size, then digest.
TEST(VerifyStaged, ReportsTheFirstFailureInOrder) {
  const Bytes a = file_bytes(3000, 95);
  const Bytes b = file_bytes(4000, 96);
  const std::vector<update::FileEntry> files = {{"a.bin", a.size(), fetch::sha256_hex(a), std::nullopt, {}},
                                                {"b.bin", b.size(), fetch::sha256_hex(b), std::nullopt, {}}};
  struct Case {
    const char* name;
    std::function<void(const Path& staged, const Path& installed)> arrange;
    bool fallback;
    // The error, given the two folders; none when the release passes.
    std::function<std::optional<UpdateError>(const Path& staged, const Path& installed)> expected;
  };
  const auto named = [](const Path& path) { return platform::display(path); };
  const std::vector<Case> cases = {
      {"both staged", [&](const Path& s, const Path&) { put(s / "a.bin", a); put(s / "b.bin", b); }, false,
       [](const Path&, const Path&) { return std::optional<UpdateError>(); }},
      {"the first missing, the second of another size",
       [&](const Path& s, const Path&) { put(s / "b.bin", a); }, false,
       [&](const Path& s, const Path&) { return std::optional<UpdateError>(UpdateError{UpdateError::Incomplete{named(s / "a.bin")}}); }},
      {"another size and digest: the size is told",
       [&](const Path& s, const Path&) { put(s / "a.bin", b); put(s / "b.bin", b); }, false,
       [&](const Path& s, const Path&) {
         return std::optional<UpdateError>(UpdateError{UpdateError::SizeMismatch{named(s / "a.bin"), 3000, 4000}});
       }},
      {"the first of another digest, the second missing",
       [&](const Path& s, const Path&) { put(s / "a.bin", changed(a)); }, false,
       [&](const Path& s, const Path&) {
         return std::optional<UpdateError>(UpdateError{
             UpdateError::HashMismatch{named(s / "a.bin"), fetch::sha256_hex(a), fetch::sha256_hex(changed(a))}});
       }},
      {"a kept file found in the fallback folder",
       [&](const Path& s, const Path& i) { put(i / "a.bin", a); put(s / "b.bin", b); }, true,
       [](const Path&, const Path&) { return std::optional<UpdateError>(); }},
      {"a staged copy wins over the installed one",
       [&](const Path& s, const Path& i) { put(s / "a.bin", changed(a)); put(i / "a.bin", a); put(s / "b.bin", b); }, true,
       [&](const Path& s, const Path&) {
         return std::optional<UpdateError>(UpdateError{
             UpdateError::HashMismatch{named(s / "a.bin"), fetch::sha256_hex(a), fetch::sha256_hex(changed(a))}});
       }},
      {"a folder in the fallback is no installed copy",
       [&](const Path& s, const Path& i) { ASSERT_TRUE(platform::create_dirs(i / "a.bin")); put(s / "b.bin", b); }, true,
       [&](const Path& s, const Path&) { return std::optional<UpdateError>(UpdateError{UpdateError::Incomplete{named(s / "a.bin")}}); }},
      {"a wrong installed copy is named by its own path",
       [&](const Path& s, const Path& i) { put(i / "a.bin", changed(a)); put(s / "b.bin", b); }, true,
       [&](const Path&, const Path& i) {
         return std::optional<UpdateError>(UpdateError{
             UpdateError::HashMismatch{named(i / "a.bin"), fetch::sha256_hex(a), fetch::sha256_hex(changed(a))}});
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testkit::TempDir dir;
    const Path staged = dir / "pending";
    const Path installed = dir / "install";
    ASSERT_TRUE(platform::create_dirs(staged));
    ASSERT_TRUE(platform::create_dirs(installed));
    c.arrange(staged, installed);
    const auto checked =
        update::verify_staged(staged, files, c.fallback ? std::optional<Path>(installed) : std::nullopt);
    const auto expected = c.expected(staged, installed);
    if (expected) {
      ASSERT_FALSE(checked);
      EXPECT_EQ(checked.error(), *expected);
    } else {
      EXPECT_TRUE(checked) << update::display_update_error(checked.error());
    }
  }
}

}  // namespace
}  // namespace stagetest
