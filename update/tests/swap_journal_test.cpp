// The swap journal's file: its exact bytes (the product's own programs read
// the same file) and its atomic write.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/fs.hpp"
#include "testkit/file_fault_interpose.hpp"
#include "testkit/temp_dir.hpp"
#include "update/journal/read_journal.hpp"
#include "update/journal/swap_journal.hpp"

namespace {

using update::Companion;
using update::SwapJournal;

SwapJournal windows_journal() {
  return SwapJournal{
      .kind = update::SwapKind::Rollback,
      .version = "2.0.0",
      .previous_version = "1.4.2+nightly",
      .target = R"(C:\Users\p\AppData\Local\Programs\MORVANE\morvane.exe)",
      .aside = R"(C:\Users\p\AppData\Local\Programs\MORVANE\morvane.exe.old)",
      .incoming = R"(C:\Users\p\AppData\Local\Programs\MORVANE\updates\pending\2.0.0\morvane.exe)",
      .park = std::nullopt,
      .companions =
          {
              Companion{.target = R"(C:\M\a.dll)",
                        .aside = R"(C:\M\a.dll.old)",
                        .incoming = R"(C:\M\updates\pending\2.0.0\a.dll)",
                        .park = std::nullopt},
              Companion{.target = R"(C:\M\lib\b.dll)",
                        .aside = R"(C:\M\lib\b.dll.old)",
                        .incoming = R"(C:\M\updates\pending\2.0.0\lib\b.dll)",
                        .park = R"(C:\M\updates\park\b.dll.old)"},
          },
      .step = update::SwapStep::MovedAside,
      .exe_dir = R"(C:\Users\p\AppData\Local\Programs\MORVANE)",
      .updates_dir = R"(C:\Users\p\AppData\Local\Programs\MORVANE\updates)",
      .written_at_ms = -1234,
  };
}

TEST(JournalBytes, WithCompanionsEveryKeyInOrderNullsAndEscapedBackslashes) {
  const auto json = update::journal_json(windows_journal());
  ASSERT_TRUE(json);
  EXPECT_EQ(*json,
            "{\n"
            "  \"kind\": \"rollback\",\n"
            "  \"version\": \"2.0.0\",\n"
            "  \"previous_version\": \"1.4.2+nightly\",\n"
            "  \"target\": \"C:\\\\Users\\\\p\\\\AppData\\\\Local\\\\Programs\\\\MORVANE\\\\morvane.exe\",\n"
            "  \"aside\": \"C:\\\\Users\\\\p\\\\AppData\\\\Local\\\\Programs\\\\MORVANE\\\\morvane.exe.old\",\n"
            "  \"incoming\": \"C:\\\\Users\\\\p\\\\AppData\\\\Local\\\\Programs\\\\MORVANE\\\\updates\\\\pending\\\\2.0.0\\\\morvane.exe\",\n"
            "  \"park\": null,\n"
            "  \"companions\": [\n"
            "    {\n"
            "      \"target\": \"C:\\\\M\\\\a.dll\",\n"
            "      \"aside\": \"C:\\\\M\\\\a.dll.old\",\n"
            "      \"incoming\": \"C:\\\\M\\\\updates\\\\pending\\\\2.0.0\\\\a.dll\",\n"
            "      \"park\": null\n"
            "    },\n"
            "    {\n"
            "      \"target\": \"C:\\\\M\\\\lib\\\\b.dll\",\n"
            "      \"aside\": \"C:\\\\M\\\\lib\\\\b.dll.old\",\n"
            "      \"incoming\": \"C:\\\\M\\\\updates\\\\pending\\\\2.0.0\\\\lib\\\\b.dll\",\n"
            "      \"park\": \"C:\\\\M\\\\updates\\\\park\\\\b.dll.old\"\n"
            "    }\n"
            "  ],\n"
            "  \"step\": \"moved_aside\",\n"
            "  \"exe_dir\": \"C:\\\\Users\\\\p\\\\AppData\\\\Local\\\\Programs\\\\MORVANE\",\n"
            "  \"updates_dir\": \"C:\\\\Users\\\\p\\\\AppData\\\\Local\\\\Programs\\\\MORVANE\\\\updates\",\n"
            "  \"written_at_ms\": -1234\n"
            "}");
}

TEST(JournalBytes, WithoutCompanionsAnEmptyListAndParkPresent) {
  const SwapJournal journal{
      .kind = update::SwapKind::Apply,
      .version = "0.2.0",
      .previous_version = std::nullopt,
      .target = "/m/morvane.exe",
      .aside = "/m/morvane.exe.old",
      .incoming = "/m/updates/pending/0.2.0/morvane.exe",
      .park = "/m/updates/park/morvane.exe",
      .companions = {},
      .step = update::SwapStep::Begun,
      .exe_dir = "/m",
      .updates_dir = "/m/updates",
      .written_at_ms = 1700000000123,
  };
  const auto json = update::journal_json(journal);
  ASSERT_TRUE(json);
  EXPECT_EQ(*json,
            "{\n"
            "  \"kind\": \"apply\",\n"
            "  \"version\": \"0.2.0\",\n"
            "  \"previous_version\": null,\n"
            "  \"target\": \"/m/morvane.exe\",\n"
            "  \"aside\": \"/m/morvane.exe.old\",\n"
            "  \"incoming\": \"/m/updates/pending/0.2.0/morvane.exe\",\n"
            "  \"park\": \"/m/updates/park/morvane.exe\",\n"
            "  \"companions\": [],\n"
            "  \"step\": \"begun\",\n"
            "  \"exe_dir\": \"/m\",\n"
            "  \"updates_dir\": \"/m/updates\",\n"
            "  \"written_at_ms\": 1700000000123\n"
            "}");
}

TEST(JournalBytes, QuotesControlCharactersEscapedOtherTextAsItIs) {
  SwapJournal journal = windows_journal();
  journal.companions.clear();
  journal.target = "C:\\\"q\"\\tab\there\x01 \xD9\x85\xD9\x88\xD8\xB1 \xE2\x80\x94.exe";
  const auto json = update::journal_json(journal);
  ASSERT_TRUE(json);
  EXPECT_NE(json->find("  \"target\": \"C:\\\\\\\"q\\\"\\\\tab\\there\\u0001 \xD9\x85\xD9\x88\xD8\xB1 \xE2\x80\x94.exe\",\n"),
            std::string::npos)
      << *json;
}

TEST(JournalBytes, SteppingThroughTheSwapChangesOnlyTheStepLine) {
  SwapJournal journal = windows_journal();
  const std::vector<std::pair<update::SwapStep, std::string>> steps = {
      {update::SwapStep::Begun, "begun"},
      {update::SwapStep::CompanionsMoved, "companions_moved"},
      {update::SwapStep::MovedAside, "moved_aside"},
      {update::SwapStep::MovedIn, "moved_in"},
  };
  const std::string aside = *update::journal_json(journal);
  for (const auto& [step, text] : steps) {
    journal.step = step;
    std::string expected = aside;
    const std::string from = "\"step\": \"moved_aside\"";
    expected.replace(expected.find(from), from.size(), "\"step\": \"" + text + "\"");
    EXPECT_EQ(*update::journal_json(journal), expected);
  }
}

TEST(WriteJournal, WritesTheBytesAtomicallyAndReadsBackEqual) {
  testkit::TempDir temp;
  const auto install = temp / "MORVANE";
  const auto updates = install / "updates";
  // File names with quotes and backslashes travel through the escapes.
  SwapJournal journal{
      .kind = update::SwapKind::Apply,
      .version = "2.0.0",
      .previous_version = "1.0.0",
      .target = platform::display(install / "mor\"vane.exe"),
      .aside = platform::display(install / "mor\"vane.exe.old"),
      .incoming = platform::display(updates / "pending" / "2.0.0" / "mor\"vane.exe"),
      .park = platform::display(updates / "park\\exe"),
      .companions = {Companion{.target = platform::display(install / "a\\b.dll"),
                               .aside = platform::display(install / "a\\b.dll.old"),
                               .incoming = platform::display(updates / "pending" / "2.0.0" / "a\\b.dll"),
                               .park = std::nullopt}},
      .step = update::SwapStep::CompanionsMoved,
      .exe_dir = R"(C:\elsewhere)",
      .updates_dir = R"(C:\elsewhere\updates)",
      .written_at_ms = -7,
  };

  ASSERT_TRUE(update::write_journal(updates, journal));
  const auto bytes = platform::read_file(updates / "swap.journal");
  ASSERT_TRUE(bytes);
  EXPECT_EQ(platform::to_string(*bytes), *update::journal_json(journal));
  EXPECT_FALSE(platform::exists(updates / "swap.part"));

  const auto read = update::read_swap_journal(install, updates);
  ASSERT_TRUE(read) << update::display_update_error(read.error());
  ASSERT_TRUE(read->has_value());
  EXPECT_EQ(**read, journal);

  // A later write replaces the whole file.
  journal.step = update::SwapStep::MovedIn;
  ASSERT_TRUE(update::write_journal(updates, journal));
  EXPECT_EQ(platform::to_string(*platform::read_file(updates / "swap.journal")), *update::journal_json(journal));
}

// The write is on the disk when it answers: the bytes of the part file are
// flushed before the rename, and the rename, once made, is on the disk too,
// so that the move the swap makes next can never outlive the journal step
// it relies on.
TEST(WriteJournal, TheJournalIsOnTheDiskWhenTheWriteAnswers) {
  testkit::TempDir temp;
  const auto updates = temp / "updates";
  testkit::file_faults::Scope scope;
  ASSERT_TRUE(update::write_journal(updates, windows_journal()));
  const auto timeline = testkit::file_faults::timeline();
  const auto rename = std::find_if(timeline.begin(), timeline.end(), [](const auto& op) { return op.what == "rename"; });
  ASSERT_NE(rename, timeline.end());
  const auto at = static_cast<std::size_t>(rename - timeline.begin());
  EXPECT_EQ(platform::comparable_path(platform::path_from_utf8(rename->to)),
            platform::comparable_path(updates / "swap.journal"));
  const bool part_flushed = std::any_of(timeline.begin(), rename, [&](const auto& op) {
    return op.what == "sync" && platform::comparable_path(platform::path_from_utf8(op.from)) ==
                                    platform::comparable_path(platform::path_from_utf8(rename->from));
  });
  EXPECT_TRUE(part_flushed) << "the part file's bytes were not flushed before the rename";
  EXPECT_TRUE(testkit::file_faults::on_disk_before(timeline, at, timeline.size())) << rename->text();
}

TEST(WriteJournal, AFailedWriteIsTheIoErrorOfTheWrite) {
  testkit::TempDir temp;
  // The updates folder cannot be made: a file stands in its place.
  ASSERT_TRUE(platform::write_file(temp / "updates", platform::byte_view("x")));
  const auto written = update::write_journal(temp / "updates", windows_journal());
  ASSERT_FALSE(written);
  ASSERT_TRUE(written.error().is<update::UpdateError::Io>());
  EXPECT_EQ(written.error().get<update::UpdateError::Io>()->at, platform::display(temp / "updates"));
}

TEST(WriteJournal, TextThatIsNotUtf8IsNeverWrittenAsAnEmptyJournal) {
  testkit::TempDir temp;
  SwapJournal journal = windows_journal();
  journal.version = "\xff";
  const auto written = update::write_journal(temp.path(), journal);
  ASSERT_FALSE(written);
  EXPECT_TRUE(written.error().is<update::UpdateError::Io>());
  EXPECT_FALSE(platform::exists(temp / "swap.journal"));
}

}  // namespace
