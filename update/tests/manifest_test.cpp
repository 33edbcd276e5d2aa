// Reading release.json into its records, and the queries over its files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "update/records/manifest.hpp"
#include "update/records/manifest_names.hpp"
#include "update/records/manifest_tables.hpp"

namespace update {
namespace {

constexpr std::string_view kSha = "0000000000000000000000000000000000000000000000000000000000000000";

// The members of a full manifest in declared order, one per line.
const std::vector<std::string> kMembers = {
    R"("product": "morvane")",
    R"("channel": "stable-intl")",
    R"("version": "1.2.3")",
    R"("build": "1.2.3+abc")",
    R"("issued_at_ms": 1700000000000)",
    R"("minimum_version": "1.0.0")",
    R"("key_id": "0123456789abcdef")",
    R"("files": [{"path": "morvane.exe", "bytes": 10, "sha256": "0000000000000000000000000000000000000000000000000000000000000000",
      "compressed": {"format": "xz", "path": "morvane.exe.xz", "bytes": 4, "sha256": "0000000000000000000000000000000000000000000000000000000000000000"},
      "deltas": [{"format": "mvdiff1", "from_version": "1.2.2", "from_sha256": "0000000000000000000000000000000000000000000000000000000000000000",
                  "path": "morvane.exe.from-1.2.2", "bytes": 3, "sha256": "0000000000000000000000000000000000000000000000000000000000000000"}]}])",
    R"("notes_key": "notes/1.2.3")",
};

std::string object_of(const std::vector<std::string>& members) {
  std::string text = "{\n";
  for (std::size_t i = 0; i < members.size(); ++i) {
    text += "  " + members[i] + (i + 1 < members.size() ? ",\n" : "\n");
  }
  return text + "}";
}

ReleaseManifest full_manifest() {
  const std::string sha(kSha);
  ReleaseManifest manifest;
  manifest.product = "morvane";
  manifest.channel = "stable-intl";
  manifest.version = "1.2.3";
  manifest.build = "1.2.3+abc";
  manifest.issued_at_ms = 1700000000000;
  manifest.minimum_version = "1.0.0";
  manifest.key_id = "0123456789abcdef";
  manifest.files = {FileEntry{"morvane.exe", 10, sha, Artifact{"xz", "morvane.exe.xz", 4, sha},
                              {Delta{"mvdiff1", "1.2.2", sha, "morvane.exe.from-1.2.2", 3, sha}}}};
  manifest.notes_key = "notes/1.2.3";
  return manifest;
}

std::string outcome(std::string_view input) {
  const auto result = parse_release_manifest(platform::byte_view(input));
  return result ? std::string("ok") : result.error().display();
}

// The full manifest with one member replaced (or, with an empty text, left out).
std::string with_member(std::size_t index, const std::string& member) {
  auto members = kMembers;
  if (member.empty()) {
    members.erase(members.begin() + static_cast<std::ptrdiff_t>(index));
  } else {
    members[index] = member;
  }
  return object_of(members);
}

TEST(ReleaseManifest, ReadsTheSameInAnyKeyOrder) {
  const auto declared = parse_release_manifest(platform::byte_view(object_of(kMembers)));
  ASSERT_TRUE(declared) << declared.error().display();
  EXPECT_EQ(*declared, full_manifest());

  auto reversed = kMembers;
  std::reverse(reversed.begin(), reversed.end());
  reversed.insert(reversed.begin() + 4, R"("publisher": {"name": "x", "tags": [1, {"a": null}]})");
  const auto backwards = parse_release_manifest(platform::byte_view(object_of(reversed)));
  ASSERT_TRUE(backwards) << backwards.error().display();
  EXPECT_EQ(*backwards, full_manifest());
}

TEST(ReleaseManifest, ReadsOptionalFieldsAsNoneOrEmpty) {
  struct Case {
    std::string input;
    std::optional<std::string> key_id;
  };
  const Case cases[] = {
      {with_member(6, R"("key_id": null)"), std::nullopt},
      {with_member(6, ""), std::nullopt},
      {with_member(6, R"("key_id": "")"), std::string()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    const auto manifest = parse_release_manifest(platform::byte_view(c.input));
    ASSERT_TRUE(manifest) << manifest.error().display();
    EXPECT_EQ(manifest->key_id, c.key_id);
  }
  const auto without_notes = parse_release_manifest(platform::byte_view(with_member(8, "")));
  ASSERT_TRUE(without_notes);
  EXPECT_EQ(without_notes->notes_key, std::nullopt);
}

TEST(ReleaseManifest, ReadsFileEntriesWithTheirDefaults) {
  const std::string sha(kSha);
  struct Case {
    std::string files;
    FileEntry expected;
  };
  const Case cases[] = {
      {R"([{"path": "a.dll", "bytes": 1, "sha256": ")" + sha + R"("}])", FileEntry{"a.dll", 1, sha, {}, {}}},
      {R"([{"path": "a.dll", "bytes": 1, "sha256": ")" + sha + R"(", "compressed": null}])",
       FileEntry{"a.dll", 1, sha, {}, {}}},
      {R"([["a.dll", 1, ")" + sha + R"("]])", FileEntry{"a.dll", 1, sha, {}, {}}},
      {R"([["a.dll", 1, ")" + sha + R"(", ["xz", "a.xz", 2, ")" + sha + R"("]]])",
       FileEntry{"a.dll", 1, sha, Artifact{"xz", "a.xz", 2, sha}, {}}},
      {R"([["a.dll", 18446744073709551615, ")" + sha + R"(", null, [["mvdiff1", "0.9.0", "f", "a.d", 0, "s"]]]])",
       FileEntry{"a.dll", 18446744073709551615u, sha, {}, {Delta{"mvdiff1", "0.9.0", "f", "a.d", 0, "s"}}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.files);
    const auto manifest = parse_release_manifest(platform::byte_view(with_member(7, R"("files": )" + c.files)));
    ASSERT_TRUE(manifest) << manifest.error().display();
    ASSERT_EQ(manifest->files.size(), 1u);
    EXPECT_EQ(manifest->files[0], c.expected);
  }
}

TEST(ReleaseManifest, ReadsTheArrayForm) {
  const auto eight =
      parse_release_manifest(platform::byte_view(R"(["morvane","stable-intl","1.2.3","1.2.3+b",5,"1.0.0",null,[]])"));
  ASSERT_TRUE(eight) << eight.error().display();
  EXPECT_EQ(*eight, (ReleaseManifest{"morvane", "stable-intl", "1.2.3", "1.2.3+b", 5, "1.0.0", {}, {}, {}}));

  const auto nine =
      parse_release_manifest(platform::byte_view(R"(["p","c","v","b",-5,"m","k",[],"n"])"));
  ASSERT_TRUE(nine) << nine.error().display();
  EXPECT_EQ(nine->issued_at_ms, -5);
  EXPECT_EQ(nine->notes_key, "n");
}

TEST(ReleaseManifest, RefusesWhatTheRecordsDoNotAllow) {
  struct Case {
    std::string input;
    std::string expected;
  };
  const Case cases[] = {
      {R"({"product":"a","product":"b"})", "duplicate field `product` at line 1 column 24"},
      {with_member(7, ""), "missing field `files` at line 10 column 1"},
      {R"({"channel":"c"})", "missing field `product` at line 1 column 15"},
      {R"({"files":[{"path":"a","bytes":1,"sha256":"s","deltas":[{"format":"f","from_version":"v","from_sha256":"s","path":"p"}]}])"
       R"(,"product":"p"})",
       "missing field `bytes` at line 1 column 117"},
      {R"(["morvane","stable-intl","1.2.3","1.2.3+b",5,"1.0.0"])",
       "invalid length 7, expected struct ReleaseManifest with 9 elements at line 1 column 53"},
      {R"(["morvane","stable-intl","1.2.3","1.2.3+b",5,"1.0.0",null])",
       "invalid length 7, expected struct ReleaseManifest with 9 elements at line 1 column 58"},
      {R"(["p","c","v","b",5,"m",null,[],null,1])", "trailing characters at line 1 column 37"},
      {R"(["p","c","v","b",5,"m",null,[[]]])",
       "invalid length 0, expected struct FileEntry with 5 elements at line 1 column 31"},
      {R"(["p","c","v","b",5,"m",null,[["a",1,"s",["xz","a.xz",1]]]])",
       "invalid length 3, expected struct Artifact with 4 elements at line 1 column 55"},
      {R"(["p","c","v","b",5,"m",null,[["a",1,"s",null,[["f","v","s","p",1]]]]])",
       "invalid length 5, expected struct Delta with 6 elements at line 1 column 65"},
      {with_member(4, R"("issued_at_ms": 1.0)"),
       "invalid type: floating point `1.0`, expected i64 at line 6 column 21"},
      {with_member(4, R"("issued_at_ms": "5")"),
       "invalid type: string \"5\", expected i64 at line 6 column 21"},
      {with_member(7, R"("files": [["a", -1, "s"]])"),
       "invalid value: integer `-1`, expected u64 at line 9 column 20"},
      {with_member(7, R"("files": [{"path": "a", "bytes": 1, "sha256": "s", "deltas": null}])"),
       "invalid type: null, expected a sequence at line 9 column 67"},
      {with_member(7, R"("files": null)"), "invalid type: null, expected a sequence at line 9 column 15"},
      {with_member(0, R"("product": 5)"), "invalid type: integer `5`, expected a string at line 2 column 14"},
      {"\xEF\xBB\xBF" + object_of(kMembers), "expected value at line 1 column 1"},
      {"x" + object_of(kMembers), "expected value at line 1 column 1"},
      {object_of(kMembers) + "\n{}", "trailing characters at line 15 column 1"},
      {"", "EOF while parsing a value at line 1 column 0"},
      {"[]", "invalid length 0, expected struct ReleaseManifest with 9 elements at line 1 column 2"},
      {"null", "invalid type: null, expected struct ReleaseManifest at line 1 column 4"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(outcome(c.input), c.expected);
  }
}

TEST(ReleaseManifest, WritesWhatItReadsBack) {
  const auto text = json::to_json(full_manifest());
  ASSERT_TRUE(text);
  const auto back = parse_release_manifest(platform::byte_view(*text));
  ASSERT_TRUE(back) << back.error().display();
  EXPECT_EQ(*back, full_manifest());
}

std::vector<FileEntry> two_files() {
  return {
      FileEntry{"a.exe", 10, "s", Artifact{"xz", "a.exe.xz", 4, "s"},
                {Delta{"mvdiff1", "1.0.0", "f", "a.exe.d1", 1, "s"}, Delta{"mvdiff1", "1.1.0", "f", "a.exe.d2", 2, "s"}}},
      FileEntry{"b.dll", 20, "s", std::nullopt, {}},
  };
}

TEST(ManifestNames, ListsEachFileThenItsArtifactThenItsDeltas) {
  const auto files = two_files();
  std::vector<std::string_view> names;
  for (const auto name : next_manifest_name(files)) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string_view>{"a.exe", "a.exe.xz", "a.exe.d1", "a.exe.d2", "b.dll"}));
}

TEST(ManifestNames, SkipsAbsentArtifactsAndHandlesEmptyLists) {
  const std::vector<FileEntry> none;
  EXPECT_EQ(next_manifest_name(none).begin(), next_manifest_name(none).end());

  const std::vector<FileEntry> files = {
      FileEntry{"a", 1, "s", std::nullopt, {Delta{"f", "v", "s", "a.d", 1, "s"}}},
      FileEntry{"b", 1, "s", Artifact{"xz", "b.xz", 1, "s"}, {}},
      FileEntry{"c", 1, "s", std::nullopt, {}},
  };
  std::vector<std::string_view> names;
  for (const auto name : next_manifest_name(files)) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string_view>{"a", "a.d", "b", "b.xz", "c"}));
}

TEST(ManifestQueries, FindTheFirstEntryByExactName) {
  const std::vector<FileEntry> files = {
      FileEntry{"Morvane.exe", 1, "first", std::nullopt, {}},
      FileEntry{"lib.dll", 2, "s", std::nullopt, {}},
      FileEntry{"Morvane.exe", 3, "second", std::nullopt, {}},
  };
  const auto* found = find_file_entry(files, "Morvane.exe");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found, &files[0]);
  EXPECT_EQ(find_file_entry(files, "morvane.exe"), nullptr);
  EXPECT_EQ(find_file_entry(files, "Morvane.ex"), nullptr);
  EXPECT_EQ(find_file_entry({}, "Morvane.exe"), nullptr);
}

TEST(ManifestQueries, SumFileBytes) {
  EXPECT_EQ(sum_file_bytes({}), 0u);
  EXPECT_EQ(sum_file_bytes(two_files()), 30u);
  const std::vector<FileEntry> huge = {FileEntry{"a", UINT64_MAX, "s", {}, {}}, FileEntry{"b", 2, "s", {}, {}}};
  EXPECT_EQ(sum_file_bytes(huge), 1u);
}

}  // namespace
}  // namespace update
