#include "update/error.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fetch/error.hpp"
#include "platform/io_error.hpp"

namespace update {
namespace {

using E = UpdateError;

struct SentenceCase {
  const char* name;
  UpdateError error;
  std::string sentence;
};

TEST(UpdateErrorTest, EveryVariantDisplaysItsSentence) {
  const std::vector<SentenceCase> cases = {
      {"no signature", {E::NoSignature{"/r/release.json"}},
       "the release manifest at /r/release.json arrived with no signature — this client installs "
       "nothing it cannot verify, and there is no unsigned path to fall back to"},
      {"not ed25519", {E::NotEd25519{"/r/release.json", 63, 64}},
       "the signature for /r/release.json is not an Ed25519 signature (63 bytes, expected 64) — "
       "nothing was verified and nothing was staged"},
      {"signature failure", {E::SignatureFailure{"/r/release.json"}},
       "SIGNATURE VERIFICATION FAILURE for /r/release.json: the signature is well formed but no "
       "key pinned in this build accepts it over these bytes. The release was NOT staged. A bad "
       "signature is a finding about the channel, not a transient — nothing will be retried "
       "automatically."},
      {"unpinned key", {E::UnpinnedKey{"/r/release.json", "k2"}},
       "the manifest for /r/release.json names signing key k2, which this build does not pin. A "
       "new key ships pinned inside an ordinary update signed by the old one; there is no "
       "key-fetch step, ever."},
      {"unusable", {E::Unusable{"/r/release.json", "no files"}},
       "the release manifest at /r/release.json verified but is not usable: no files"},
      {"wrong product", {E::WrongProduct{"/r/release.json", "other", "beta", "morvane", "stable-intl"}},
       "the release manifest at /r/release.json is for other on channel beta; this binary is "
       "morvane on channel stable-intl. A release is addressed to one product and is not "
       "interchangeable."},
      {"replay", {E::Replay{"/r/release.json", -5, 1700000000000}},
       "the release manifest at /r/release.json was issued at -5 ms, older than the newest this "
       "client has ever verified (1700000000000 ms). A signature proves origin, not currency; "
       "this is a replay and it is refused."},
      {"hash mismatch", {E::HashMismatch{"morvane.exe", "aa", "bb"}},
       "morvane.exe does not match the verified manifest (sha256 expected aa, got bb) — it was "
       "NOT installed"},
      {"size mismatch, actual first", {E::SizeMismatch{"a.dll", 10, 12}},
       "a.dll is 12 bytes where the verified manifest says 10 — it was NOT installed"},
      {"incomplete", {E::Incomplete{"pending/1.2.3/a.dll"}},
       "the staged release is incomplete: pending/1.2.3/a.dll is missing"},
      {"unreachable", {E::Unreachable{"a.dll", "it failed"}},
       "cannot reach the release channel for a.dll: it failed"},
      {"cancelled", {E::Cancelled{}},
       "the update download was cancelled — nothing partial was staged"},
      {"io", {E::Io{"/x/y", "Permission denied (os error 13)"}},
       "io error at /x/y: Permission denied (os error 13)"},
      {"outside write set", {E::OutsideWriteSet{"swap.journal", "/etc/passwd", "/inst"}},
       "swap.journal names /etc/passwd, which is outside the updater's write set (/inst) — the "
       "journal was NOT replayed"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(display_update_error(c.error), c.sentence) << c.name;
  }
}

TEST(UpdateErrorTest, OneLineJoinsTheWordsWithSingleBlanks) {
  struct Case {
    UpdateError error;
    std::string line;
  };
  const std::vector<Case> cases = {
      {{E::Io{"/a", "Broken pipe (os error 32)\r\n"}}, "io error at /a: Broken pipe (os error 32)"},
      {{E::Io{"/a", "x\t\ty \n  z"}}, "io error at /a: x y z"},
      {{E::Incomplete{"my  file\tname"}}, "the staged release is incomplete: my file name is missing"},
      {{E::Incomplete{"\u00a0lead\u2003\u3000trail\u2028"}},  // Unicode blanks and separators
       "the staged release is incomplete: lead trail is missing"},
      {{E::Incomplete{"a\u200cb"}}, "the staged release is incomplete: a\u200cb is missing"},  // not white space
      {{E::Incomplete{"\xff\xfe"}}, "the staged release is incomplete: \xff\xfe is missing"},  // bytes kept
      {{E::Cancelled{}}, "the update download was cancelled — nothing partial was staged"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(error_one_line(c.error), c.line);
  }
  // A sentence that starts or ends with white space has no blank at that end.
  EXPECT_EQ(error_one_line({E::HashMismatch{" \n name", "e", "g\n"}}),
            "name does not match the verified manifest (sha256 expected e, got g ) — it was NOT "
            "installed");
}

TEST(UpdateErrorTest, IoErrorAtNamesThePathWithTheSystemText) {
  const auto error = io_error_at("/inst/updates", platform::IoError::from_os(2));
  EXPECT_EQ(error, (UpdateError{E::Io{"/inst/updates", platform::os_error_text(2)}}));
}

TEST(UpdateErrorTest, MapFetchError) {
  for (const char* context : {"", "/releases/morvane/stable-intl/release.json", "a.dll"}) {
    EXPECT_EQ(map_fetch_error(context, fetch::FetchError{fetch::FetchError::Cancelled{}}),
              (UpdateError{E::Cancelled{}}))
        << context;
  }

  const auto not_found = map_fetch_error(
      "/releases/morvane/stable-intl/release.json.sig",
      fetch::FetchError{fetch::FetchError::NotFound{"/releases/morvane/stable-intl/release.json.sig"}});
  ASSERT_TRUE(not_found.is<E::Unreachable>());
  EXPECT_EQ(display_update_error(not_found),
            "cannot reach the release channel for /releases/morvane/stable-intl/release.json.sig: "
            "the training-data server has no /releases/morvane/stable-intl/release.json.sig (HTTP "
            "404) — the span may reach past the published snapshot, or the server's lake is a "
            "different snapshot than this cache");

  const auto io = map_fetch_error("a.dll", fetch::fetch_io_error("/p", platform::IoError::from_os(2)));
  EXPECT_EQ(io, (UpdateError{E::Unreachable{"a.dll", "io error at /p: " + platform::os_error_text(2)}}));
}

}  // namespace
}  // namespace update
