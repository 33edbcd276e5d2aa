// The rollback record: its bytes, what write_rollback puts in it, and that
// nothing is written when a file cannot be hashed.
#include <gtest/gtest.h>

#include "platform/fs.hpp"
#include "testkit/temp_dir.hpp"
#include "update/store/clock.hpp"
#include "update/swap/rollback_record.hpp"
#include "update/tests/print_update_error.hpp"
#include "update/tests/swap_fixture.hpp"

namespace {

using swaptest::content;
using swaptest::put;
using update::RollbackRecord;
using update::UpdateError;

const std::string kAbc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
const std::string kEmpty = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

TEST(RollbackBytes, KeysInOrderPrettyPrintedUnsignedAndSignedIntegers) {
  RollbackRecord record{"1.0.0+b\\\"", "morvane.exe", 18446744073709551615ull, kAbc, -3,
                        {{"a.dll", 3, kAbc}, {"lib\\b.dll", 0, kEmpty}}};
  const auto json = update::rollback_json(record);
  ASSERT_TRUE(json);
  EXPECT_EQ(*json,
            "{\n"
            "  \"version\": \"1.0.0+b\\\\\\\"\",\n"
            "  \"file\": \"morvane.exe\",\n"
            "  \"bytes\": 18446744073709551615,\n"
            "  \"sha256\": \"" + kAbc + "\",\n"
            "  \"recorded_at_ms\": -3,\n"
            "  \"companions\": [\n"
            "    {\n"
            "      \"file\": \"a.dll\",\n"
            "      \"bytes\": 3,\n"
            "      \"sha256\": \"" + kAbc + "\"\n"
            "    },\n"
            "    {\n"
            "      \"file\": \"lib\\\\b.dll\",\n"
            "      \"bytes\": 0,\n"
            "      \"sha256\": \"" + kEmpty + "\"\n"
            "    }\n"
            "  ]\n"
            "}");
}

TEST(RollbackBytes, NoCompanionsIsAnEmptyList) {
  const auto json = update::rollback_json({"unknown", "morvane.exe", 0, kEmpty, 1700000000000, {}});
  ASSERT_TRUE(json);
  EXPECT_EQ(*json,
            "{\n"
            "  \"version\": \"unknown\",\n"
            "  \"file\": \"morvane.exe\",\n"
            "  \"bytes\": 0,\n"
            "  \"sha256\": \"" + kEmpty + "\",\n"
            "  \"recorded_at_ms\": 1700000000000,\n"
            "  \"companions\": []\n"
            "}");
}

TEST(WriteRollback, RecordsSizesDigestsAndNamesWithoutOneOldEnding) {
  testkit::TempDir temp;
  const auto install = temp / "MORVANE";
  const auto updates = install / "updates";
  put(install / "morvane.exe.old", "abc");
  const std::vector<std::pair<std::string, std::string>> companions = {
      {"a.dll.old", "a.dll"},    // the ending goes
      {"b.old.old", "b.old"},    // only one of them
      {"c.older", "c.older"},    // not an ending
      {"sub/d.dll", "d.dll"},    // the last component only
      {".old", ""},              // a name that is nothing but the ending
  };
  std::vector<platform::Path> paths;
  for (const auto& [name, listed] : companions) {
    paths.push_back(install / name);
    put(paths.back(), name == "c.older" ? "" : "abc");
  }

  const auto before = static_cast<std::int64_t>(update::now_ms());
  const auto written = update::write_rollback(updates, install / "morvane.exe.old", "1.0.0", paths);
  const auto after = static_cast<std::int64_t>(update::now_ms());
  ASSERT_TRUE(written) << update::display_update_error(written.error());

  EXPECT_EQ(written->version, "1.0.0");
  EXPECT_EQ(written->file, "morvane.exe.old") << "the executable keeps its name as it is";
  EXPECT_EQ(written->bytes, 3u);
  EXPECT_EQ(written->sha256, kAbc);
  EXPECT_GE(written->recorded_at_ms, before);
  EXPECT_LE(written->recorded_at_ms, after);
  ASSERT_EQ(written->companions.size(), companions.size());
  for (std::size_t i = 0; i < companions.size(); ++i) {
    const bool empty = companions[i].first == "c.older";
    EXPECT_EQ(written->companions[i], (update::RollbackEntry{companions[i].second, empty ? 0u : 3u, empty ? kEmpty : kAbc}));
  }

  EXPECT_EQ(content(updates / "rollback.json"), *update::rollback_json(*written));
  EXPECT_FALSE(platform::exists(updates / "rollback.part"));
  EXPECT_TRUE(platform::exists(updates / "README.txt")) << "the updates folder is made with its README.txt";
}

TEST(WriteRollback, AFileThatCannotBeHashedLeavesThePreviousRecord) {
  testkit::TempDir temp;
  const auto updates = temp / "updates";
  put(updates / "rollback.json", "previous");
  put(temp / "morvane.exe", "abc");
  put(temp / "a.dll", "abc");

  struct Case {
    const char* name;
    platform::Path exe;
    std::vector<platform::Path> companions;
    platform::Path named;
  };
  const std::vector<Case> cases = {
      {"a companion missing", temp / "morvane.exe", {temp / "a.dll", temp / "gone.dll"}, temp / "gone.dll"},
      {"the executable missing", temp / "gone.exe", {temp / "a.dll"}, temp / "gone.exe"},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    const auto written = update::write_rollback(updates, test.exe, "1.0.0", test.companions);
    ASSERT_FALSE(written);
    ASSERT_TRUE(written.error().is<UpdateError::Io>());
    EXPECT_EQ(written.error().get<UpdateError::Io>()->at, platform::display(test.named));
    EXPECT_EQ(content(updates / "rollback.json"), "previous");
  }
}

TEST(WriteRollback, NothingIsMadeBeforeEveryFileIsHashed) {
  testkit::TempDir temp;
  put(temp / "morvane.exe", "abc");
  const auto written = update::write_rollback(temp / "updates", temp / "morvane.exe", "1.0.0", {temp / "gone.dll"});
  ASSERT_FALSE(written);
  EXPECT_FALSE(platform::exists(temp / "updates"));
}

TEST(HashFileWithSize, SizeAndDigestOrTheHashersSentence) {
  testkit::TempDir temp;
  put(temp / "f", "abc");
  const auto hashed = update::hash_file_with_size(temp / "f");
  ASSERT_TRUE(hashed);
  EXPECT_EQ(hashed->first, 3u);
  EXPECT_EQ(hashed->second, kAbc);

  // A folder has metadata but cannot be read: the message is the hashing
  // error's own sentence.
  ASSERT_TRUE(platform::create_dirs(temp / "d"));
  const auto folder = update::hash_file_with_size(temp / "d");
  ASSERT_FALSE(folder);
  ASSERT_TRUE(folder.error().is<UpdateError::Io>());
  const auto* io = folder.error().get<UpdateError::Io>();
  EXPECT_EQ(io->at, platform::display(temp / "d"));
  EXPECT_EQ(io->message.rfind("io error at " + platform::display(temp / "d") + ": ", 0), 0u) << io->message;
}

}  // namespace
