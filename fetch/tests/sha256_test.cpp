#include "fetch/digest/sha256.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/fs.hpp"
#include "testkit/os_codes.hpp"
#include "testkit/temp_dir.hpp"

namespace fetch {
namespace {

using Call = std::pair<std::uint64_t, std::uint64_t>;

constexpr const char* kEmptyDigest =
    "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

platform::Bytes pattern(std::size_t size) {
  platform::Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>((i * 31 + i / 251) & 0xFF);
  return bytes;
}

void write(const platform::Path& path, const platform::Bytes& bytes) {
  ASSERT_TRUE(platform::write_file(path, bytes).has_value());
}

// A progress callback that records its calls and answers as told.
struct Recorder {
  std::vector<Call> calls;
  bool answer = true;
  ProgressFn fn() {
    return [this](std::uint64_t done, std::uint64_t total) {
      calls.emplace_back(done, total);
      return answer;
    };
  }
};

TEST(Sha256HexTest, KnownDigests) {
  struct Case {
    std::string input;
    std::string digest;
  };
  const std::vector<Case> cases = {
      {"", kEmptyDigest},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(sha256_hex(platform::byte_view(c.input)), c.digest) << c.input.size();
  }
}

TEST(Sha256FileHexTest, EmptyFileGivesTheEmptyDigestAndReportsNothing) {
  testkit::TempDir dir;
  write(dir / "empty", {});
  Recorder recorder;
  const auto digest = sha256_file_hex(dir / "empty", recorder.fn());
  ASSERT_TRUE(digest.has_value());
  EXPECT_EQ(*digest, kEmptyDigest);
  EXPECT_TRUE(recorder.calls.empty());
}

TEST(Sha256FileHexTest, ReportsOncePerPiece) {
  struct Case {
    std::size_t size;
    std::vector<Call> calls;
  };
  const std::vector<Case> cases = {
      {1, {{1, 1}}},
      {65536, {{65536, 65536}}},
      {65537, {{65536, 65537}, {65537, 65537}}},
      {3 * 65536 + 7, {{65536, 196615}, {131072, 196615}, {196608, 196615}, {196615, 196615}}},
  };
  testkit::TempDir dir;
  for (const auto& c : cases) {
    const auto content = pattern(c.size);
    write(dir / "f", content);
    Recorder recorder;
    const auto digest = sha256_file_hex(dir / "f", recorder.fn());
    ASSERT_TRUE(digest.has_value()) << c.size;
    EXPECT_EQ(*digest, sha256_hex(content)) << c.size;
    EXPECT_EQ(recorder.calls, c.calls) << c.size;
  }
}

TEST(Sha256FileHexTest, DigestIsLowerCaseHex) {
  testkit::TempDir dir;
  write(dir / "f", pattern(70000));
  const auto digest = sha256_file_hex(dir / "f", always_continue());
  ASSERT_TRUE(digest.has_value());
  ASSERT_EQ(digest->size(), 64u);
  EXPECT_EQ(digest->find_first_not_of("0123456789abcdef"), std::string::npos) << *digest;
}

TEST(Sha256FileHexTest, StopsAfterThePieceWhoseReportAnswersFalse) {
  testkit::TempDir dir;
  write(dir / "f", pattern(5 * 65536));
  Recorder recorder;
  recorder.answer = false;
  const auto digest = sha256_file_hex(dir / "f", recorder.fn());
  ASSERT_FALSE(digest.has_value());
  EXPECT_TRUE(digest.error().is<FetchError::Cancelled>());
  EXPECT_EQ(recorder.calls, (std::vector<Call>{{65536, 5 * 65536}}));
}

TEST(Sha256FileHexTest, StopsWhenTheCancelFlagIsSet) {
  testkit::TempDir dir;
  write(dir / "f", pattern(4 * 65536));
  std::atomic<bool> flag{false};
  const ProgressFn cancelling = continue_unless_cancelled(flag);
  int calls = 0;
  const auto digest = sha256_file_hex(dir / "f", [&](std::uint64_t done, std::uint64_t total) {
    if (++calls == 2) flag = true;
    return cancelling(done, total);
  });
  ASSERT_FALSE(digest.has_value());
  EXPECT_TRUE(digest.error().is<FetchError::Cancelled>());
  EXPECT_EQ(calls, 2);
}

TEST(Sha256FileHexTest, AFileThatGrowsIsHashedToItsEnd) {
  testkit::TempDir dir;
  const auto path = dir / "growing";
  auto content = pattern(65536 + 10);
  write(path, content);
  const auto extra = pattern(2 * 65536);

  Recorder recorder;
  const auto digest = sha256_file_hex(path, [&](std::uint64_t done, std::uint64_t total) {
    recorder.calls.emplace_back(done, total);
    if (recorder.calls.size() == 1) {
      auto file = platform::File::open_append(path);
      EXPECT_TRUE(file.has_value());
      if (file) {
        EXPECT_TRUE(file->write_all(extra).has_value());
      }
    }
    return true;
  });
  content.insert(content.end(), extra.begin(), extra.end());

  ASSERT_TRUE(digest.has_value());
  EXPECT_EQ(*digest, sha256_hex(content));
  // The length was learned once, before the file grew; past it, total follows done.
  EXPECT_EQ(recorder.calls, (std::vector<Call>{{65536, 65546},
                                               {131072, 131072},
                                               {196608, 196608},
                                               {196618, 196618}}));
}

TEST(Sha256FileHexTest, FailureToOpenNamesThePath) {
  testkit::TempDir dir;
  struct Case {
    platform::Path path;
    std::string message;
  };
  std::filesystem::create_directory(dir / "folder");
  const std::vector<Case> cases = {
      {dir / "missing", platform::os_error_text(testkit::os_codes::not_found)},
      {dir / "folder", platform::os_error_text(testkit::os_codes::is_a_directory)},
  };
  for (const auto& c : cases) {
    Recorder recorder;
    const auto digest = sha256_file_hex(c.path, recorder.fn());
    ASSERT_FALSE(digest.has_value()) << c.path;
    ASSERT_TRUE(digest.error().is<FetchError::Io>());
    EXPECT_EQ(format_fetch_error(digest.error()),
              "io error at " + platform::display(c.path) + ": " + c.message);
    EXPECT_TRUE(recorder.calls.empty());
  }
}

}  // namespace
}  // namespace fetch
