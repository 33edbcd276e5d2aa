// The end of a swap: parking, the rollback record of a parked build, the
// pending folder and the journal.
#include <gtest/gtest.h>

#include <regex>

#include "fetch/digest/sha256.hpp"
#include "platform/fs.hpp"
#include "testkit/file_fault_interpose.hpp"
#include "testkit/temp_dir.hpp"
#include "update/journal/swap_journal.hpp"
#include "update/swap/finish_swap.hpp"
#include "update/tests/print_update_error.hpp"
#include "update/tests/swap_fixture.hpp"

namespace {

using platform::Path;
using swaptest::content;
using swaptest::put;
using update::Companion;
using update::SwapDirection;
using update::SwapJournal;
using update::UpdateError;

// An installation whose swap has gone forward: new files in place, the old
// ones aside, an older build parked from an earlier swap, a journal and a
// pending folder left over.
class Finish : public testing::Test {
 protected:
  Finish() {
    put(install() / "morvane.exe", "new exe");
    put(install() / "morvane.exe.old", "old exe");
    put(install() / "a.dll", "new a");
    put(install() / "a.dll.old", "old a");
    put(install() / "b.dll", "new b");
    put(install() / "b.dll.old", "old b");
    put(park() / "morvane.exe", "an older exe");
    put(pending() / "release.json", "{}");
    put(updates() / "swap.journal", "{}");
  }

  Path install() const { return temp_ / "MORVANE"; }
  Path updates() const { return install() / "updates"; }
  Path pending() const { return updates() / "pending" / "2.0.0"; }
  Path park() const { return updates() / "park"; }

  SwapJournal journal(bool parked) const {
    auto text = [](const Path& path) { return platform::display(path); };
    auto parked_at = [&](const char* name) { return parked ? std::optional(text(park() / name)) : std::nullopt; };
    return SwapJournal{
        .kind = update::SwapKind::Apply,
        .version = "2.0.0",
        .previous_version = "1.0.0",
        .target = text(install() / "morvane.exe"),
        .aside = text(install() / "morvane.exe.old"),
        .incoming = text(pending() / "morvane.exe"),
        .park = parked_at("morvane.exe"),
        .companions =
            {
                Companion{.target = text(install() / "a.dll"),
                          .aside = text(install() / "a.dll.old"),
                          .incoming = text(pending() / "a.dll"),
                          .park = parked_at("a.dll.old")},
                Companion{.target = text(install() / "b.dll"),
                          .aside = text(install() / "b.dll.old"),
                          .incoming = text(pending() / "b.dll"),
                          .park = std::nullopt},
            },
        .step = update::SwapStep::MovedIn,
        .exe_dir = text(install()),
        .updates_dir = text(updates()),
        .written_at_ms = 0,
    };
  }

  testkit::TempDir temp_;
};

std::string sha(std::string_view text) { return fetch::sha256_hex(platform::byte_view(text)); }

TEST_F(Finish, ForwardWithParkParksTheOldFilesAndRecordsTheParkedBuild) {
  ASSERT_TRUE(update::finish_swap(updates(), journal(true), SwapDirection::Forward));

  EXPECT_EQ(content(park() / "morvane.exe"), "old exe") << "the older parked build is replaced";
  EXPECT_EQ(content(park() / "a.dll.old"), "old a");
  EXPECT_FALSE(platform::exists(install() / "morvane.exe.old"));
  EXPECT_FALSE(platform::exists(install() / "a.dll.old"));
  EXPECT_EQ(content(install() / "b.dll.old"), "old b") << "a companion without park stays aside";

  // The time of the record is the clock's; the rest is fixed.
  const std::string record =
      std::regex_replace(content(updates() / "rollback.json"), std::regex("\"recorded_at_ms\": [0-9]+,"),
                         "\"recorded_at_ms\": T,");
  EXPECT_EQ(record,
            "{\n"
            "  \"version\": \"1.0.0\",\n"
            "  \"file\": \"morvane.exe\",\n"
            "  \"bytes\": 7,\n"
            "  \"sha256\": \"" + sha("old exe") + "\",\n"
            "  \"recorded_at_ms\": T,\n"
            "  \"companions\": [\n"
            "    {\n"
            "      \"file\": \"a.dll\",\n"
            "      \"bytes\": 5,\n"
            "      \"sha256\": \"" + sha("old a") + "\"\n"
            "    }\n"
            "  ]\n"
            "}");
  EXPECT_FALSE(platform::exists(pending()));
  EXPECT_FALSE(platform::exists(updates() / "swap.journal"));
}

TEST_F(Finish, AParkedBuildWithoutPreviousVersionIsUnknown) {
  SwapJournal j = journal(true);
  j.previous_version.reset();
  ASSERT_TRUE(update::finish_swap(updates(), j, SwapDirection::Forward));
  EXPECT_NE(content(updates() / "rollback.json").find("\"version\": \"unknown\",\n"), std::string::npos);
}

TEST_F(Finish, ForwardWithoutParkLeavesTheOldFilesAsideAndRemovesPending) {
  ASSERT_TRUE(update::finish_swap(updates(), journal(false), SwapDirection::Forward));
  EXPECT_EQ(content(install() / "morvane.exe.old"), "old exe");
  EXPECT_EQ(content(install() / "a.dll.old"), "old a");
  EXPECT_EQ(content(park() / "morvane.exe"), "an older exe");
  EXPECT_FALSE(platform::exists(updates() / "rollback.json"));
  EXPECT_FALSE(platform::exists(pending()));
  EXPECT_FALSE(platform::exists(updates() / "swap.journal"));
}

TEST_F(Finish, ARollbackSwapFinishedForwardKeepsPending) {
  SwapJournal j = journal(false);
  j.kind = update::SwapKind::Rollback;
  ASSERT_TRUE(update::finish_swap(updates(), j, SwapDirection::Forward));
  EXPECT_TRUE(platform::exists(pending() / "release.json"));
  EXPECT_FALSE(platform::exists(updates() / "swap.journal"));
}

TEST_F(Finish, BackRemovesOnlyTheJournal) {
  const auto before = swaptest::snapshot(install());
  ASSERT_TRUE(update::finish_swap(updates(), journal(true), SwapDirection::Back));
  auto after = swaptest::snapshot(install());
  EXPECT_EQ(after.erase("updates/swap.journal"), 0u);
  auto expected = before;
  expected.erase("updates/swap.journal");
  EXPECT_EQ(after, expected) << "nothing is parked and nothing else removed going back";
}

TEST_F(Finish, WithoutAJournalFileTheFinishStillSucceeds) {
  ASSERT_TRUE(platform::remove_file(updates() / "swap.journal"));
  EXPECT_TRUE(update::finish_swap(updates(), journal(false), SwapDirection::Forward));
}

TEST_F(Finish, AFailedParkKeepsTheJournalAndThePendingFolder) {
  testkit::file_faults::Scope scope;
  testkit::file_faults::fail_from(1);  // the older parked build is removed; moving the aside there fails
  const auto finished = update::finish_swap(updates(), journal(true), SwapDirection::Forward);
  testkit::file_faults::reset();
  ASSERT_FALSE(finished);
  EXPECT_EQ(finished.error().get<UpdateError::Io>()->at, platform::display(install() / "morvane.exe.old"));
  EXPECT_TRUE(platform::exists(updates() / "swap.journal"));
  EXPECT_TRUE(platform::exists(pending()));
  EXPECT_EQ(content(install() / "morvane.exe.old"), "old exe");
}

}  // namespace
