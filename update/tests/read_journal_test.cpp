// Reading the swap journal: every legal spelling of one record, the refusals
// of a journal that cannot be read or names a path outside the write set, and
// the write-set test itself.
#include <gtest/gtest.h>

#include <fmt/format.h>

#include <string>
#include <vector>

#include "platform/fs.hpp"
#include "testkit/temp_dir.hpp"
#include "update/journal/read_journal.hpp"
#include "update/store/updates_dir.hpp"
#include "update/tests/print_update_error.hpp"

namespace {

using update::Companion;
using update::SwapJournal;
using update::UpdateError;

class ReadJournal : public testing::Test {
 protected:
  platform::Path install() const { return temp_ / "MORVANE"; }
  platform::Path updates() const { return install() / "updates"; }
  platform::Path journal_file() const { return updates() / "swap.journal"; }
  std::string dir() const { return platform::display(install()); }

  // The install folder as the content of a JSON string (a Windows path's
  // backslashes escaped).
  std::string json_dir() const {
    std::string escaped;
    for (char c : dir()) {
      if (c == '\\') escaped.push_back('\\');
      escaped.push_back(c);
    }
    return escaped;
  }

  // Writes the journal text with every "@" standing for the install folder.
  void write(std::string text) const {
    const std::string folder = json_dir();
    for (auto at = text.find('@'); at != std::string::npos; at = text.find('@', at + folder.size())) {
      text.replace(at, 1, folder);
    }
    ASSERT_TRUE(platform::create_dirs(updates()));
    ASSERT_TRUE(platform::write_file(journal_file(), platform::byte_view(text)));
  }

  tl::expected<std::optional<SwapJournal>, UpdateError> read() const {
    return update::read_swap_journal(install(), updates());
  }

  SwapJournal expected() const {
    SwapJournal journal{
        .kind = update::SwapKind::Apply,
        .version = "2.0.0",
        .previous_version = "1.0.0",
        .target = dir() + "/morvane.exe",
        .aside = dir() + "/morvane.exe.old",
        .incoming = dir() + "/updates/pending/2.0.0/morvane.exe",
        .park = std::nullopt,
        .companions = {Companion{.target = dir() + "/a.dll",
                                 .aside = dir() + "/a.dll.old",
                                 .incoming = dir() + "/updates/pending/2.0.0/a.dll",
                                 .park = std::nullopt}},
        .step = update::SwapStep::MovedIn,
        .exe_dir = dir(),
        .updates_dir = dir() + "/updates",
        .written_at_ms = 1700000000000,
    };
    return journal;
  }

  std::string write_set() const {
    return fmt::format("{} and {}", platform::display(install()), platform::display(updates()));
  }

  // The refusal that names `path`.
  UpdateError outside(const std::string& path) const {
    return {UpdateError::OutsideWriteSet{platform::display(journal_file()), path, write_set()}};
  }

  testkit::TempDir temp_;
};

const std::string kCompanion =
    R"({"target":"@/a.dll","aside":"@/a.dll.old","incoming":"@/updates/pending/2.0.0/a.dll","park":null})";

std::string canonical() {
  return R"({"kind":"apply","version":"2.0.0","previous_version":"1.0.0","target":"@/morvane.exe",)"
         R"("aside":"@/morvane.exe.old","incoming":"@/updates/pending/2.0.0/morvane.exe","park":null,)"
         R"("companions":[)" + kCompanion + R"(],"step":"moved_in","exe_dir":"@","updates_dir":"@/updates",)"
         R"("written_at_ms":1700000000000})";
}

TEST_F(ReadJournal, NoFileIsNothingToRepair) {
  const auto read = this->read();
  ASSERT_TRUE(read);
  EXPECT_FALSE(read->has_value());
}

TEST_F(ReadJournal, EveryLegalSpellingReadsTheSameRecord) {
  const std::vector<std::pair<const char*, std::string>> spellings = {
      {"one line", canonical()},
      {"keys in another order",
       R"({"written_at_ms":1700000000000,"updates_dir":"@/updates","exe_dir":"@","step":"moved_in",)"
       R"("companions":[{"park":null,"incoming":"@/updates/pending/2.0.0/a.dll","aside":"@/a.dll.old",)"
       R"("target":"@/a.dll"}],"park":null,"incoming":"@/updates/pending/2.0.0/morvane.exe",)"
       R"("aside":"@/morvane.exe.old","target":"@/morvane.exe","previous_version":"1.0.0","version":"2.0.0",)"
       R"("kind":"apply"})"},
      {"unknown keys skipped",
       R"({"written_by":{"program":"morvane","args":[1,2.5,{"x":null}]},"kind":"apply","version":"2.0.0",)"
       R"("previous_version":"1.0.0","target":"@/morvane.exe","aside":"@/morvane.exe.old",)"
       R"("incoming":"@/updates/pending/2.0.0/morvane.exe","park":null,"companions":[)" +
           kCompanion.substr(0, kCompanion.size() - 1) +
           R"(,"note":"x"}],"step":"moved_in","exe_dir":"@","updates_dir":"@/updates",)"
           R"("written_at_ms":1700000000000,"zzz":[]})"},
      {"park absent", R"({"kind":"apply","version":"2.0.0","previous_version":"1.0.0","target":"@/morvane.exe",)"
                      R"("aside":"@/morvane.exe.old","incoming":"@/updates/pending/2.0.0/morvane.exe",)"
                      R"("companions":[{"target":"@/a.dll","aside":"@/a.dll.old",)"
                      R"("incoming":"@/updates/pending/2.0.0/a.dll"}],"step":"moved_in","exe_dir":"@",)"
                      R"("updates_dir":"@/updates","written_at_ms":1700000000000})"},
      {"enumerations as one-key objects",
       R"({"kind" : { "apply" : null },"version":"2.0.0","previous_version":"1.0.0","target":"@/morvane.exe",)"
       R"("aside":"@/morvane.exe.old","incoming":"@/updates/pending/2.0.0/morvane.exe","park":null,)"
       R"("companions":[)" + kCompanion + R"(],"step":{"moved_in":null},"exe_dir":"@",)"
       R"("updates_dir":"@/updates","written_at_ms":1700000000000})"},
      {"array form, companion with four values",
       R"(["apply","2.0.0","1.0.0","@/morvane.exe","@/morvane.exe.old","@/updates/pending/2.0.0/morvane.exe",)"
       R"(null,[["@/a.dll","@/a.dll.old","@/updates/pending/2.0.0/a.dll",null]],"moved_in","@","@/updates",)"
       R"(1700000000000])"},
      {"array form, companion with three values",
       R"(["apply","2.0.0","1.0.0","@/morvane.exe","@/morvane.exe.old","@/updates/pending/2.0.0/morvane.exe",)"
       R"(null,[["@/a.dll","@/a.dll.old","@/updates/pending/2.0.0/a.dll"]],{"moved_in":null},"@","@/updates",)"
       R"(1700000000000])"},
      {"whitespace around and inside", " \r\n\t" + canonical() + " \n\n\t "},
  };
  for (const auto& [name, text] : spellings) {
    SCOPED_TRACE(name);
    write(text);
    const auto read = this->read();
    ASSERT_TRUE(read) << update::display_update_error(read.error());
    ASSERT_TRUE(read->has_value());
    EXPECT_EQ(**read, expected());
  }
}

TEST_F(ReadJournal, OptionalKeysAbsentOrNullReadAsNone) {
  const std::string minimal =
      R"({"kind":"rollback","version":"2.0.0","target":"@/morvane.exe","aside":"@/morvane.exe.old",)"
      R"("incoming":"@/updates/pending/2.0.0/morvane.exe","step":"begun","exe_dir":"@",)"
      R"("updates_dir":"@/updates","written_at_ms":-5})";
  const std::string nulls =
      R"({"kind":"rollback","version":"2.0.0","previous_version":null,"target":"@/morvane.exe",)"
      R"("aside":"@/morvane.exe.old","incoming":"@/updates/pending/2.0.0/morvane.exe","park":null,)"
      R"("companions":[],"step":"begun","exe_dir":"@","updates_dir":"@/updates","written_at_ms":-5})";
  SwapJournal want = expected();
  want.kind = update::SwapKind::Rollback;
  want.previous_version.reset();
  want.companions.clear();
  want.step = update::SwapStep::Begun;
  want.written_at_ms = -5;
  for (const auto& text : {minimal, nulls}) {
    write(text);
    const auto read = this->read();
    ASSERT_TRUE(read) << update::display_update_error(read.error());
    EXPECT_EQ(**read, want);
  }
}

// The text with the first `from` replaced by `to`.
std::string replaced(std::string text, const std::string& from, const std::string& to) {
  text.replace(text.find(from), from.size(), to);
  return text;
}

TEST_F(ReadJournal, ParksAreRead) {
  std::string text = canonical();
  text = replaced(text, R"("park":null,"companions")", R"("park":"@/updates/park/morvane.exe","companions")");
  text = replaced(text, R"("park":null})", R"("park":"@/updates/park/a.dll.old"})");
  write(text);
  const auto read = this->read();
  ASSERT_TRUE(read) << update::display_update_error(read.error());
  SwapJournal want = expected();
  want.park = dir() + "/updates/park/morvane.exe";
  want.companions[0].park = dir() + "/updates/park/a.dll.old";
  EXPECT_EQ(**read, want);
}

TEST_F(ReadJournal, UnreadableJournalsAreRefusedWithTheReadersSentence) {
  const std::string c = canonical();
  auto without = [&](const std::string& member) {
    std::string text = c;
    text.erase(text.find(member), member.size());
    return text;
  };
  const std::string array11 =
      R"(["apply","2.0.0","1.0.0","@/morvane.exe","@/morvane.exe.old","@/updates/pending/2.0.0/morvane.exe",)"
      R"(null,[],"moved_in","@","@/updates"])";
  const std::string short_companion =
      R"(["apply","2.0.0","1.0.0","@/morvane.exe","@/morvane.exe.old","@/updates/pending/2.0.0/morvane.exe",)"
      R"(null,[["@/a.dll","@/a.dll.old"]],"moved_in","@","@/updates",1])";
  // Columns count the bytes of the line, with "@" standing for the folder.
  auto at = [&](std::string_view prefix) {
    std::size_t column = 0;
    for (const char ch : prefix) column += ch == '@' ? json_dir().size() : 1;
    return fmt::format("at line 1 column {}", column);
  };
  struct Case {
    const char* name;
    std::string text;
    std::string error;
  };
  const std::vector<Case> cases = {
      {"empty file", "", "EOF while parsing a value at line 1 column 0"},
      {"not JSON", "swap", "expected value at line 1 column 1"},
      {"more text after the object", c + " {}", "trailing characters " + at(c + " {")},
      {"unknown kind", R"({"kind":"swap"})", "unknown variant `swap`, expected `apply` or `rollback` at line 1 column 14"},
      {"unknown step",
       R"({"step":"moved"})",
       "unknown variant `moved`, expected one of `begun`, `companions_moved`, `moved_aside`, `moved_in` at line 1 column 15"},
      {"unknown step in object form",
       R"({"step":{"moved":null}})",
       "unknown variant `moved`, expected one of `begun`, `companions_moved`, `moved_aside`, `moved_in` at line 1 column 16"},
      {"a required key missing", without(R"("version":"2.0.0",)"),
       "missing field `version` " + at(without(R"("version":"2.0.0",)"))},
      {"a companion's required key missing", without(R"("aside":"@/a.dll.old",)"),
       "missing field `aside` " +
           at(without(R"("aside":"@/a.dll.old",)").substr(0, without(R"("aside":"@/a.dll.old",)").find("}]") + 1))},
      {"a repeated key", R"({"kind":"apply","kind":"apply"})", "duplicate field `kind` at line 1 column 22"},
      {"a text of the wrong type", R"({"kind":"apply","version":5})",
       "invalid type: integer `5`, expected a string at line 1 column 27"},
      {"a time that is not an integer", R"({"written_at_ms":1.5})",
       "invalid type: floating point `1.5`, expected i64 at line 1 column 20"},
      {"a time beyond 64 bits", R"({"written_at_ms":9223372036854775808})",
       "invalid value: integer `9223372036854775808`, expected i64 at line 1 column 36"},
      {"companions null", R"({"companions":null})", "invalid type: null, expected a sequence at line 1 column 18"},
      {"not a record", R"("apply")", "invalid type: string \"apply\", expected struct SwapJournal at line 1 column 7"},
      {"array form with eleven values", array11,
       "invalid length 11, expected struct SwapJournal with 12 elements " + at(array11)},
      {"companion array form with two values", short_companion,
       "invalid length 2, expected struct Companion with 4 elements " +
           at(short_companion.substr(0, short_companion.find("]]") + 1))},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    write(test.text);
    const auto before = platform::read_file(journal_file()).value();
    const auto read = this->read();
    ASSERT_FALSE(read);
    EXPECT_EQ(read.error(), outside("<unreadable: " + test.error + ">"));
    EXPECT_EQ(platform::read_file(journal_file()).value(), before) << "a refused journal must stay as it is";
  }
}

TEST_F(ReadJournal, TheRefusalReadsAsOneSentence) {
  write("");
  const auto read = this->read();
  ASSERT_FALSE(read);
  EXPECT_EQ(update::display_update_error(read.error()),
            platform::display(journal_file()) +
                " names <unreadable: EOF while parsing a value at line 1 column 0>, which is outside the "
                "updater's write set (" +
                write_set() + ") \xE2\x80\x94 the journal was NOT replayed");
}

TEST_F(ReadJournal, AJournalThatCannotBeReadIsAnIoError) {
  // A folder where the file should be: it exists, but reading it fails.
  ASSERT_TRUE(platform::create_dirs(journal_file()));
  const auto read = this->read();
  ASSERT_FALSE(read);
  ASSERT_TRUE(read.error().is<UpdateError::Io>());
  EXPECT_EQ(read.error().get<UpdateError::Io>()->at, platform::display(journal_file()));
}

TEST_F(ReadJournal, PathsOutsideTheWriteSetAreRefusedInOrder) {
  const std::string c = canonical();
  const auto replace = replaced;
  struct Case {
    const char* name;
    std::string text;
    std::string named;  // the path the refusal names, "@" for the install folder
  };
  const std::vector<Case> cases = {
      {"target climbs out through ..", replace(c, R"("target":"@/morvane.exe")", R"("target":"@/../x/morvane.exe")"),
       "@/../x/morvane.exe"},
      {"aside in a sibling whose name begins with the folder's",
       replace(c, R"("aside":"@/morvane.exe.old")", R"("aside":"@2/morvane.exe.old")"), "@2/morvane.exe.old"},
      {"incoming outside both folders",
       replace(c, R"("incoming":"@/updates/pending/2.0.0/morvane.exe")", R"("incoming":"/etc/passwd")"),
       "/etc/passwd"},
      {"park outside", replace(c, R"("park":null,"companions")", R"("park":"/tmp/park","companions")"), "/tmp/park"},
      {"companion target", replace(c, R"("target":"@/a.dll")", R"("target":"/a.dll")"), "/a.dll"},
      {"companion incoming climbs out of updates",
       replace(c, R"("incoming":"@/updates/pending/2.0.0/a.dll")", R"("incoming":"@/updates/../../a.dll")"),
       "@/updates/../../a.dll"},
      {"companion park", replace(c, R"("park":null})", R"("park":"/elsewhere/a.dll.old"})"), "/elsewhere/a.dll.old"},
      {"the first bad path in order is named",
       replace(replace(c, R"("target":"@/a.dll")", R"("target":"/first")"), R"("aside":"@/morvane.exe.old")",
               R"("aside":"/second")"),
       "/second"},
      {"a relative path", replace(c, R"("target":"@/morvane.exe")", R"("target":"morvane.exe")"), "morvane.exe"},
      {"a version that leaves the pending folder", replace(c, R"("version":"2.0.0")", R"("version":"../..")"),
       "@/updates/pending/../.."},
      {"a version that names a folder below another", replace(c, R"("version":"2.0.0")", R"("version":"a/b")"),
       "@/updates/pending/a/b"},
      {"a version whose last point Windows would drop", replace(c, R"("version":"2.0.0")", R"("version":"2.0.0+x.")"),
       "@/updates/pending/2.0.0+x."},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    write(test.text);
    const auto read = this->read();
    ASSERT_FALSE(read);
    std::string named = test.named;
    // The pending folder's path is the updater's own, made from the version.
    const std::string pending = "@/updates/pending/";
    if (named.starts_with(pending)) {
      named = platform::display(update::pending_dir(updates(), named.substr(pending.size())));
    } else if (named[0] == '@') {
      named.replace(0, 1, dir());
    }
    EXPECT_EQ(read.error(), outside(named));
  }
}

TEST_F(ReadJournal, TheJournalsOwnFoldersDoNotWidenTheWriteSet) {
  std::string text = canonical();
  text = replaced(text, R"("target":"@/morvane.exe")", R"("target":"/opt/other/morvane.exe")");
  text = replaced(text, R"("exe_dir":"@")", R"("exe_dir":"/opt/other")");
  write(text);
  const auto read = this->read();
  ASSERT_FALSE(read);
  EXPECT_EQ(read.error(), outside("/opt/other/morvane.exe"));
}

TEST(InWriteSet, ComparesWholeComponentsAndRefusesParentSteps) {
  const platform::Path install = "/home/u/.local/MORVANE";
  const platform::Path updates = "/home/u/.local/MORVANE/updates";
  const std::vector<std::pair<std::string, bool>> cases = {
      {"/home/u/.local/MORVANE/morvane.exe", true},
      {"/home/u/.local/MORVANE", true},
      {"/home/u/.local/MORVANE/", true},
      {"/home/u/.local/MORVANE/updates/pending/2.0.0/lib/a.dll", true},
      {"/home/u/.local/MORVANE//sub/./a.dll", true},
      {"/home/u/.local/MORVANE2/morvane.exe", false},
      {"/home/u/.local/MORVANE.old", false},
      {"/home/u/.local/MORVAN", false},
      {"/home/u/.local", false},
      {"/home/u/.local/MORVANE/../MORVANE/morvane.exe", false},
      {"/home/u/.local/MORVANE/sub/..", false},
      {"morvane.exe", false},
      {"", false},
  };
  for (const auto& [path, inside] : cases) {
    EXPECT_EQ(update::in_write_set(path, install, updates), inside) << path;
  }
  // Letter case counts where the system's names have it.
  const bool names_ignore_case = platform::comparable_path("MORVANE") == platform::comparable_path("morvane");
  EXPECT_EQ(update::in_write_set("/home/u/.local/morvane/morvane.exe", install, updates), names_ignore_case);
  // The updates folder counts on its own, wherever it is.
  EXPECT_TRUE(update::in_write_set("/var/updates/x", install, "/var/updates"));
  EXPECT_FALSE(update::in_write_set("/var/updates-old/x", install, "/var/updates"));
}

#ifdef _WIN32
// A journal that the product wrote with other letter case, or with the long
// path prefix, names the same folder as Windows compares them.
TEST(InWriteSet, OnWindowsComparesAsTheSystemDoes) {
  const platform::Path install = L"C:\\Users\\Ann\\AppData\\Local\\Programs\\MORVANE";
  const platform::Path updates = install / L"updates";
  for (const wchar_t* path : {L"c:\\users\\ann\\appdata\\local\\programs\\morvane\\morvane.exe",
                              L"\\\\?\\C:\\Users\\Ann\\AppData\\Local\\Programs\\MORVANE\\a.dll",
                              L"C:/Users/Ann/AppData/Local/Programs/MORVANE/updates/pending/2.0.0/a.dll"}) {
    EXPECT_TRUE(update::in_write_set(path, install, updates)) << platform::display(path);
  }
  EXPECT_FALSE(update::in_write_set(L"C:\\Users\\Ann\\AppData\\Local\\Programs\\MORVANE2\\a.dll", install, updates));
  EXPECT_FALSE(update::in_write_set(L"c:\\users\\ann\\appdata\\local\\programs\\morvane\\..\\x.dll", install, updates));
}
#endif

}  // namespace
