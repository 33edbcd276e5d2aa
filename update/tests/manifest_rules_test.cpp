#include "update/check/manifest_rules.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "update/check/release_path.hpp"
#include "update/check/reserved_names.hpp"
#include "update/tests/check_fixtures.hpp"

namespace update {
namespace {

using testing::digest;
using testing::valid_manifest;

struct RuleCase {
  const char* name;
  std::function<void(ReleaseManifest&)> change;
  std::optional<std::string> reason;  // none: the change keeps the manifest usable
};

FileEntry& exe(ReleaseManifest& m) { return m.files[0]; }
Artifact& xz(ReleaseManifest& m) { return *m.files[0].compressed; }
Delta& delta(ReleaseManifest& m, std::size_t i) { return m.files[0].deltas[i]; }

void run(const std::vector<RuleCase>& cases) {
  for (const RuleCase& c : cases) {
    ReleaseManifest manifest = valid_manifest();
    c.change(manifest);
    EXPECT_EQ(why_unusable(manifest), c.reason) << c.name;
  }
}

TEST(ManifestRulesTest, TheValidManifestIsUsable) {
  EXPECT_EQ(why_unusable(valid_manifest()), std::nullopt);
}

// One change to the valid manifest per case, the rules in their order.
TEST(ManifestRulesTest, EachRuleGivesItsReason) {
  run({
      // 1. version
      {"version of two parts", [](auto& m) { m.version = "1.4"; m.build = "1.4+x"; },
       "version 1.4 is not MAJOR.MINOR.PATCH — a version this client cannot compare must refuse, "
       "never be treated as 0.0.0"},
      {"empty version", [](auto& m) { m.version = ""; m.build = "+x"; },
       "version  is not MAJOR.MINOR.PATCH — a version this client cannot compare must refuse, "
       "never be treated as 0.0.0"},
      // 2. minimum_version
      {"minimum_version with a letter", [](auto& m) { m.minimum_version = "v0.1.0"; },
       "minimum_version v0.1.0 is not MAJOR.MINOR.PATCH"},
      // 3. build
      {"build equal to the version", [](auto& m) { m.build = "1.4.0"; },
       "build 1.4.0 does not stamp version 1.4.0 — the two identities in one manifest disagree"},
      {"build of another version", [](auto& m) { m.build = "1.3.9+8f2c1a"; },
       "build 1.3.9+8f2c1a does not stamp version 1.4.0 — the two identities in one manifest "
       "disagree"},
      {"build with a longer patch", [](auto& m) { m.build = "1.4.00+x"; },
       "build 1.4.00+x does not stamp version 1.4.0 — the two identities in one manifest disagree"},
      // 4. issued_at_ms
      {"issued_at_ms zero", [](auto& m) { m.issued_at_ms = 0; },
       "issued_at_ms 0 is not a time — anti-replay has no axis without it"},
      {"issued_at_ms negative", [](auto& m) { m.issued_at_ms = -5; },
       "issued_at_ms -5 is not a time — anti-replay has no axis without it"},
      // 5. files
      {"no files", [](auto& m) { m.files.clear(); },
       "it lists no files, so it describes no release"},
      // 6a. the compressed artifact
      {"artifact climbing out", [](auto& m) { xz(m).path = "../morvane.exe.xz"; },
       "the artifact ../morvane.exe.xz of morvane.exe is not a plain file name; the updater's "
       "write set may not be widened by a manifest"},
      {"artifact with the file's own name", [](auto& m) { xz(m).path = "morvane.exe"; },
       "the artifact of morvane.exe has the file's own name"},
      {"artifact of zero bytes", [](auto& m) { xz(m).bytes = 0; },
       "the artifact morvane.exe.xz claims zero bytes"},
      {"artifact digest of 63 digits", [](auto& m) { xz(m).sha256.pop_back(); },
       "the artifact morvane.exe.xz has no readable sha256"},
      {"artifact digest with a non-hex digit", [](auto& m) { xz(m).sha256[10] = 'g'; },
       "the artifact morvane.exe.xz has no readable sha256"},
      {"artifact without format", [](auto& m) { xz(m).format = ""; },
       "the artifact morvane.exe.xz names no format"},
      {"artifact format of blanks and tabs", [](auto& m) { xz(m).format = " \t\n "; },
       "the artifact morvane.exe.xz names no format"},
      {"artifact format of Unicode spaces", [](auto& m) { xz(m).format = "\u00a0\u3000"; },
       "the artifact morvane.exe.xz names no format"},
      // 6b. the deltas, each seen as an artifact first
      {"delta with a backslash", [](auto& m) { delta(m, 1).path = "sub\\x.delta"; },
       "the artifact sub\\x.delta of morvane.exe is not a plain file name; the updater's write "
       "set may not be widened by a manifest"},
      {"delta with the file's own name", [](auto& m) { delta(m, 0).path = "morvane.exe"; },
       "the artifact of morvane.exe has the file's own name"},
      {"delta of zero bytes", [](auto& m) { delta(m, 1).bytes = 0; },
       "the artifact morvane.exe.from-1.2.0 claims zero bytes"},
      {"delta digest unreadable", [](auto& m) { delta(m, 0).sha256 = "sha256:abc"; },
       "the artifact morvane.exe.from-1.3.0 has no readable sha256"},
      {"delta without format", [](auto& m) { delta(m, 0).format = " "; },
       "the artifact morvane.exe.from-1.3.0 names no format"},
      {"delta from an unreadable digest", [](auto& m) { delta(m, 1).from_sha256 = ""; },
       "the delta morvane.exe.from-1.2.0 names no readable file it applies to"},
      {"two deltas from one file",
       [](auto& m) { delta(m, 1).from_sha256 = delta(m, 0).from_sha256; },
       "two deltas of morvane.exe apply to one file"},
      // 6c-e. the entry's own fields
      {"file beginning with a point", [](auto& m) { exe(m).path = ".morvane.exe"; },
       "file .morvane.exe is not a plain file name; the updater's write set is this product's own "
       "directory and a manifest may not widen it"},
      {"file naming a drive", [](auto& m) { m.files[1].path = "C:core.dll"; },
       "file C:core.dll is not a plain file name; the updater's write set is this product's own "
       "directory and a manifest may not widen it"},
      {"file digest of 65 digits", [](auto& m) { m.files[1].sha256 += "a"; },
       "file core.dll has no readable sha256"},
      {"file of zero bytes", [](auto& m) { m.files[1].bytes = 0; },
       "file core.dll claims zero bytes"},
      // 7. a name listed twice
      {"two entries of one name", [](auto& m) { m.files[1].path = "morvane.exe"; },
       "it lists the same file name twice, so which bytes it means is undecided"},
      {"a delta named like another entry", [](auto& m) { delta(m, 0).path = "core.dll"; },
       "it lists the same file name twice, so which bytes it means is undecided"},
      {"an artifact named like another entry", [](auto& m) { xz(m).path = "core.dll"; },
       "it lists the same file name twice, so which bytes it means is undecided"},
      {"an artifact named like its own delta", [](auto& m) { xz(m).path = delta(m, 1).path; },
       "it lists the same file name twice, so which bytes it means is undecided"},
      {"two deltas of one name", [](auto& m) { delta(m, 1).path = delta(m, 0).path; },
       "it lists the same file name twice, so which bytes it means is undecided"},
      // 8. the version as a folder name
      {"version climbing out of the updates folder",
       [](auto& m) { m.version = "1.4.0+/../../../../victim"; m.build = "1.4.0+/../../../../victim+x"; },
       "version 1.4.0+/../../../../victim is not one plain folder name; the updater keeps each release in a "
       "folder of that name and a manifest may not widen its write set"},
      {"version with a backslash", [](auto& m) { m.version = "1.4.0+a\\b"; m.build = "1.4.0+a\\b+x"; },
       "version 1.4.0+a\\b is not one plain folder name; the updater keeps each release in a folder of that "
       "name and a manifest may not widen its write set"},
      {"version naming a drive", [](auto& m) { m.version = "1.4.0+C:"; m.build = "1.4.0+C:+x"; },
       "version 1.4.0+C: is not one plain folder name; the updater keeps each release in a folder of that name "
       "and a manifest may not widen its write set"},
      // Windows drops a trailing point or blank: history\2.0.0+x. would be
      // history\2.0.0+x, another version's folder.
      {"version with a trailing point", [](auto& m) { m.version = "2.0.0+x."; m.build = "2.0.0+x.+x"; },
       "version 2.0.0+x. is not one plain folder name; the updater keeps each release in a folder of that name "
       "and a manifest may not widen its write set"},
      {"version with trailing points", [](auto& m) { m.version = "1.4.0+x.."; m.build = "1.4.0+x..+x"; },
       "version 1.4.0+x.. is not one plain folder name; the updater keeps each release in a folder of that name "
       "and a manifest may not widen its write set"},
      {"a version whose label is two points", [](auto& m) { m.version = "1.4.0+.."; m.build = "1.4.0+..+x"; },
       "version 1.4.0+.. is not one plain folder name; the updater keeps each release in a folder of that name "
       "and a manifest may not widen its write set"},
      {"version with a trailing blank", [](auto& m) { m.version = "1.4.0+x "; m.build = "1.4.0+x +x"; },
       "version 1.4.0+x  is not one plain folder name; the updater keeps each release in a folder of that name "
       "and a manifest may not widen its write set"},
      {"version with a point and a blank at its end", [](auto& m) { m.version = "1.4.0+x. "; m.build = "1.4.0+x. +x"; },
       "version 1.4.0+x.  is not one plain folder name; the updater keeps each release in a folder of that name "
       "and a manifest may not widen its write set"},
      {"version with a NUL", [](auto& m) { m.version = std::string("1.4.0+a\0b", 9); m.build = m.version + "+x"; },
       "version " + std::string("1.4.0+a\0b", 9) +
           " is not one plain folder name; the updater keeps each release in a folder of that name and a manifest "
           "may not widen its write set"},
      // 9. names the updater writes itself, and device names, name by name
      {"a file named updates", [](auto& m) { m.files[1].path = "updates"; },
       "the name updates is one the updater and installer write themselves, so a manifest may not claim it"},
      {"the updates folder in capitals with a trailing point", [](auto& m) { m.files[1].path = "UPDATES."; },
       "the name UPDATES. is one the updater and installer write themselves, so a manifest may not claim it"},
      {"a file named uninstall.exe", [](auto& m) { m.files[1].path = "Uninstall.exe"; },
       "the name Uninstall.exe is one the updater and installer write themselves, so a manifest may not claim "
       "it"},
      {"a file named like the staged manifest", [](auto& m) { m.files[1].path = "release.json"; },
       "the name release.json is one the updater and installer write themselves, so a manifest may not claim "
       "it"},
      {"a file named like the staged signature", [](auto& m) { m.files[1].path = "release.json.sig"; },
       "the name release.json.sig is one the updater and installer write themselves, so a manifest may not "
       "claim it"},
      {"a file named like a swap's old copy", [](auto& m) { m.files[1].path = "morvane.exe.old"; },
       "the name morvane.exe.old is one the updater and installer write themselves, so a manifest may not "
       "claim it"},
      {"an old copy in capitals", [](auto& m) { m.files[1].path = "libqet.dll.OLD"; },
       "the name libqet.dll.OLD is one the updater and installer write themselves, so a manifest may not "
       "claim it"},
      {"a file named like a part file", [](auto& m) { m.files[1].path = "core.part"; },
       "the name core.part is one the updater and installer write themselves, so a manifest may not claim it"},
      {"a part file with a trailing point", [](auto& m) { m.files[1].path = "core.part."; },
       "the name core.part. is one the updater and installer write themselves, so a manifest may not claim "
       "it"},
      {"an artifact named like a part file", [](auto& m) { xz(m).path = "morvane.exe.part"; },
       "the name morvane.exe.part is one the updater and installer write themselves, so a manifest may not "
       "claim it"},
      {"a delta named like an old copy", [](auto& m) { delta(m, 1).path = "morvane.exe.from-1.2.0.old"; },
       "the name morvane.exe.from-1.2.0.old is one the updater and installer write themselves, so a manifest "
       "may not claim it"},
      {"a file named CON", [](auto& m) { m.files[1].path = "CON"; },
       "the name CON is a Windows device name, so no file can be written under it"},
      {"nul with an extension", [](auto& m) { m.files[1].path = "nul.txt"; },
       "the name nul.txt is a Windows device name, so no file can be written under it"},
      {"COM1 with an extension", [](auto& m) { m.files[1].path = "COM1.dll"; },
       "the name COM1.dll is a Windows device name, so no file can be written under it"},
      {"lpt9 with two extensions", [](auto& m) { m.files[1].path = "lpt9.tar.gz"; },
       "the name lpt9.tar.gz is a Windows device name, so no file can be written under it"},
      {"com0", [](auto& m) { m.files[1].path = "com0"; },
       "the name com0 is a Windows device name, so no file can be written under it"},
      {"Aux with a trailing point", [](auto& m) { m.files[1].path = "Aux."; },
       "the name Aux. is a Windows device name, so no file can be written under it"},
      {"an artifact named prn", [](auto& m) { xz(m).path = "prn.xz"; },
       "the name prn.xz is a Windows device name, so no file can be written under it"},
      // 10. names that are one name where case and trailing points do not count
      {"the executable twice, once in capitals", [](auto& m) { m.files[1].path = "MORVANE.EXE"; },
       "it lists morvane.exe and MORVANE.EXE, one file name where case and trailing points do not count, so "
       "which bytes it means is undecided"},
      {"a library with a trailing point", [](auto& m) {
         m.files.push_back(FileEntry{"core.dll.", 10, digest('7'), std::nullopt, {}});
       }, "it lists core.dll and core.dll., one file name where case and trailing points do not count, so which "
          "bytes it means is undecided"},
      {"a delta named like another entry but for case", [](auto& m) { delta(m, 0).path = "Core.dll"; },
       "it lists Core.dll and core.dll, one file name where case and trailing points do not count, so which "
       "bytes it means is undecided"},
      {"two deltas of one name but for case", [](auto& m) { delta(m, 1).path = "MORVANE.exe.from-1.3.0"; },
       "it lists morvane.exe.from-1.3.0 and MORVANE.exe.from-1.3.0, one file name where case and trailing "
       "points do not count, so which bytes it means is undecided"},
  });
}

TEST(ManifestRulesTest, ChangesThatKeepTheManifestUsable) {
  run({
      {"build of the version and a lone plus", [](auto& m) { m.build = "1.4.0+"; }, std::nullopt},
      {"build with a second plus", [](auto& m) { m.build = "1.4.0+a+b"; }, std::nullopt},
      {"issued_at_ms one", [](auto& m) { m.issued_at_ms = 1; }, std::nullopt},
      {"version with leading zeros", [](auto& m) { m.version = "01.4.0"; m.build = "01.4.0+x"; },
       std::nullopt},
      {"version with its own label", [](auto& m) { m.version = "1.4.0+rc"; m.build = "1.4.0+rc+x"; },
       std::nullopt},
      {"version with points and blanks inside its label", [](auto& m) { m.version = "1.4.0+a. b.c"; m.build = "1.4.0+a. b.c+x"; },
       std::nullopt},
      {"minimum_version newer than the version", [](auto& m) { m.minimum_version = "9.0.0"; },
       std::nullopt},
      {"upper-case digests", [](auto& m) {
         exe(m).sha256 = std::string(64, 'A');
         xz(m).sha256 = std::string(64, 'F');
         delta(m, 0).sha256 = "0123456789ABCDEFabcdef0123456789ABCDEFabcdef0123456789ABCDEFabcd";
       }, std::nullopt},
      {"deltas from digests differing only in case", [](auto& m) {
         delta(m, 0).from_sha256 = std::string(64, 'c');
         delta(m, 1).from_sha256 = std::string(64, 'C');
       }, std::nullopt},
      {"a format the updater does not use", [](auto& m) { xz(m).format = "zstd"; }, std::nullopt},
      {"a padded format", [](auto& m) { xz(m).format = " xz "; }, std::nullopt},
      {"no artifact and no deltas", [](auto& m) { exe(m).compressed.reset(); exe(m).deltas.clear(); },
       std::nullopt},
      {"names that only contain a reserved word",
       [](auto& m) {
         m.files[1].path = "updates.dll";
         m.files.push_back(FileEntry{"console.dll", 1, digest('3'), std::nullopt, {}});
         m.files.push_back(FileEntry{"nullable.dll", 1, digest('4'), std::nullopt, {}});
         m.files.push_back(FileEntry{"com10.dll", 1, digest('5'), std::nullopt, {}});
         m.files.push_back(FileEntry{"old.dll", 1, digest('6'), std::nullopt, {}});
         m.files.push_back(FileEntry{"part-two.dll", 1, digest('7'), std::nullopt, {}});
         m.files.push_back(FileEntry{"uninstall.exe.manifest", 1, digest('8'), std::nullopt, {}});
       },
       std::nullopt},
      {"a name with a trailing point alone", [](auto& m) { m.files[1].path = "core.dll."; }, std::nullopt},
      {"a delta from an unparsable version", [](auto& m) { delta(m, 0).from_version = "old"; },
       std::nullopt},
      {"one file alone", [](auto& m) { m.files = {FileEntry{"a", 1, digest('0'), {}, {}}}; },
       std::nullopt},
  });
}

// Where two rules are broken at once, the earlier one speaks.
TEST(ManifestRulesTest, TheFirstBrokenRuleDecides) {
  run({
      {"version before build", [](auto& m) { m.version = "1.4"; m.build = "2.0.0"; },
       "version 1.4 is not MAJOR.MINOR.PATCH — a version this client cannot compare must refuse, "
       "never be treated as 0.0.0"},
      {"minimum_version before build", [](auto& m) { m.minimum_version = "x"; m.build = "2.0.0"; },
       "minimum_version x is not MAJOR.MINOR.PATCH"},
      {"issued_at_ms before empty files", [](auto& m) { m.issued_at_ms = 0; m.files.clear(); },
       "issued_at_ms 0 is not a time — anti-replay has no axis without it"},
      {"artifact's own name before the entry's fields", [](auto& m) {
         xz(m).path = "morvane.exe";
         exe(m).sha256 = "";
         exe(m).bytes = 0;
       }, "the artifact of morvane.exe has the file's own name"},
      {"artifact before the deltas", [](auto& m) {
         xz(m).bytes = 0;
         delta(m, 0).format = "";
       }, "the artifact morvane.exe.xz claims zero bytes"},
      {"a delta's artifact checks before its from_sha256", [](auto& m) {
         delta(m, 0).bytes = 0;
         delta(m, 0).from_sha256 = "x";
       }, "the artifact morvane.exe.from-1.3.0 claims zero bytes"},
      {"the first delta before the second", [](auto& m) {
         delta(m, 0).from_sha256 = "x";
         delta(m, 1).bytes = 0;
       }, "the delta morvane.exe.from-1.3.0 names no readable file it applies to"},
      {"deltas before the entry's plain name", [](auto& m) {
         exe(m).path = ".morvane.exe";
         delta(m, 1).from_sha256 = delta(m, 0).from_sha256;
       }, "two deltas of .morvane.exe apply to one file"},
      {"artifact path checked before its likeness to the entry", [](auto& m) {
         exe(m).path = "a/b";
         xz(m).path = "a/b";
       }, "the artifact a/b of a/b is not a plain file name; the updater's write set may not be "
          "widened by a manifest"},
      {"plain name before sha256 before bytes", [](auto& m) {
         m.files[1].path = "core dll";
         m.files[1].sha256 = "";
         m.files[1].bytes = 0;
       }, "file core dll is not a plain file name; the updater's write set is this product's own "
          "directory and a manifest may not widen it"},
      {"sha256 before bytes", [](auto& m) { m.files[1].sha256 = ""; m.files[1].bytes = 0; },
       "file core.dll has no readable sha256"},
      {"the first entry before the second", [](auto& m) {
         exe(m).bytes = 0;
         m.files[1].compressed = Artifact{"", "core.dll.xz", 1, digest('2')};
       }, "file morvane.exe claims zero bytes"},
      {"every entry before a name listed twice", [](auto& m) {
         m.files[1].path = "morvane.exe";
         m.files[1].bytes = 0;
       }, "file morvane.exe claims zero bytes"},
      // The rules that keep a manifest inside the updater's own names come
      // after every other rule, so a manifest that an earlier rule refuses
      // keeps that rule's reason.
      {"a version that climbs out, with no files", [](auto& m) {
         m.version = "1.4.0+/../x";
         m.build = "1.4.0+/../x+y";
         m.files.clear();
       }, "it lists no files, so it describes no release"},
      {"a name listed twice before a version that climbs out", [](auto& m) {
         m.version = "1.4.0+/../x";
         m.build = "1.4.0+/../x+y";
         m.files[1].path = "morvane.exe";
       }, "it lists the same file name twice, so which bytes it means is undecided"},
      {"an entry's own fields before an updater's name", [](auto& m) {
         exe(m).path = "updates";
         m.files[1].bytes = 0;
       }, "file core.dll claims zero bytes"},
      {"a version that climbs out before an updater's name", [](auto& m) {
         m.version = "1.4.0+/../x";
         m.build = "1.4.0+/../x+y";
         m.files[1].path = "updates";
       }, "version 1.4.0+/../x is not one plain folder name; the updater keeps each release in a folder of that "
          "name and a manifest may not widen its write set"},
      {"names in list order: a device before a later updater's name", [](auto& m) {
         exe(m).path = "nul";
         m.files[1].path = "core.part";
       }, "the name nul is a Windows device name, so no file can be written under it"},
      {"an updater's name before names that are one", [](auto& m) {
         exe(m).path = "Core.dll";
         m.files.push_back(FileEntry{"z.old", 1, digest('3'), std::nullopt, {}});
       }, "the name z.old is one the updater and installer write themselves, so a manifest may not claim it"},
      {"the first name that repeats an earlier one", [](auto& m) {
         m.files.push_back(FileEntry{"B.dll", 1, digest('3'), std::nullopt, {}});
         m.files.push_back(FileEntry{"CORE.DLL", 1, digest('4'), std::nullopt, {}});
         m.files.push_back(FileEntry{"b.dll", 1, digest('5'), std::nullopt, {}});
       }, "it lists core.dll and CORE.DLL, one file name where case and trailing points do not count, so which "
          "bytes it means is undecided"},
  });
}

TEST(ManifestRulesTest, ReservedNamesAreFoldedAsWindowsComparesThem) {
  struct NameCase {
    std::string name;
    std::string folded;
    bool updaters = false;
    bool device = false;
  };
  const std::vector<NameCase> cases = {
      {"morvane.exe", "morvane.exe"},
      {"LibQet.DLL", "libqet.dll"},
      {"core.dll.", "core.dll"},
      {"core.dll. . .", "core.dll"},
      {"a", "a"},
      {"...", ""},
      {"updates", "updates", true},
      {"Updates..", "updates", true},
      {"UNINSTALL.EXE", "uninstall.exe", true},
      {"release.json", "release.json", true},
      {"release.json.sig", "release.json.sig", true},
      {"release.json.sig.", "release.json.sig", true},
      {"x.old", "x.old", true},
      {"x.Part", "x.part", true},
      {".old", ".old", true},
      {"updates2", "updates2"},
      {"release.jsonx", "release.jsonx"},
      {"x.older", "x.older"},
      {"x.partial", "x.partial"},
      {"CON", "con", false, true},
      {"con.", "con", false, true},
      {"Con.dll", "con.dll", false, true},
      {"nul.tar.gz", "nul.tar.gz", false, true},
      {"prn", "prn", false, true},
      {"AUX", "aux", false, true},
      {"com0", "com0", false, true},
      {"COM9.txt", "com9.txt", false, true},
      {"lpt1", "lpt1", false, true},
      {"LPT0.x", "lpt0.x", false, true},
      {"com", "com"},
      {"com10", "com10"},
      {"lptx", "lptx"},
      {"conin", "conin"},
      {"nul-device", "nul-device"},
      {"x.con", "x.con"},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string folded = folded_file_name(c.name);
    EXPECT_EQ(folded, c.folded);
    EXPECT_EQ(is_updater_own_name(folded), c.updaters);
    EXPECT_EQ(is_device_name(folded), c.device);
  }
}

TEST(ManifestRulesTest, CheckArtifactOnItsOwn) {
  const FileEntry entry{"app.dll", 10, digest('a'), std::nullopt, {}};
  EXPECT_EQ(check_artifact(entry, Artifact{"xz", "app.dll.xz", 5, digest('b')}), std::nullopt);
  EXPECT_EQ(check_artifact(entry, Artifact{"xz", "", 5, digest('b')}),
            "the artifact  of app.dll is not a plain file name; the updater's write set may not "
            "be widened by a manifest");
  EXPECT_EQ(check_artifact(entry, Artifact{"\u2028", "app.dll.xz", 5, digest('b')}),
            "the artifact app.dll.xz names no format");
}

TEST(ManifestRulesTest, PlainFileNames) {
  struct NameCase {
    std::string name;
    bool plain;
  };
  const std::vector<NameCase> cases = {
      {"a", true},
      {std::string(128, 'x'), true},
      {"morvane.exe", true},
      {"libEGL.dll", true},
      {"a.b.c.d", true},
      {"-leading-hyphen", true},
      {"under_score-9", true},
      {"trailing.", true},
      {"", false},
      {std::string(129, 'x'), false},
      {".hidden", false},
      {".", false},
      {"..", false},
      {"a..b", false},
      {"dir/file", false},
      {"/abs", false},
      {"dir\\file", false},
      {"C:", false},
      {"file.txt:stream", false},
      {"with blank", false},
      {"a+b", false},
      {"caf\u00e9", false},
      {"tab\t", false},
      {std::string("nul\0byte", 8), false},
      {"star*", false},
  };
  for (const NameCase& c : cases) {
    EXPECT_EQ(is_plain_file_name(c.name), c.plain) << '"' << c.name << '"';
  }
}

TEST(ReleasePathTest, ProductAndChannelGoInUnchanged) {
  EXPECT_EQ(release_path("morvane", "stable-intl"), "/releases/morvane/stable-intl");
  EXPECT_EQ(release_path("a b", "c/d"), "/releases/a b/c/d");
  EXPECT_EQ(release_path("", ""), "/releases//");
}

}  // namespace
}  // namespace update
