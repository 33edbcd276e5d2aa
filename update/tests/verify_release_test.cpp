#include "update/check/verify_release.hpp"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "morvane/config.hpp"
#include "platform/fs.hpp"
#include "platform/process.hpp"
#include "testkit/host_tools.hpp"
#include "testkit/release/signing_key.hpp"
#include "testkit/temp_dir.hpp"
#include "update/json/json_error.hpp"
#include "update/store/hex.hpp"
#include "update/tests/check_fixtures.hpp"
#include "update/tests/forged_signatures.hpp"
#include "update/tests/rfc8032_vectors.hpp"

namespace update {
namespace {

using E = UpdateError;
using testing::kChannel;
using testing::kProduct;
using testing::kUrl;
using testing::manifest_bytes;
using testing::valid_manifest;

constexpr const char* kTestKeyId = "eda96cedb3200a2f";

tl::expected<VerifiedRelease, UpdateError> check(platform::ByteView manifest,
                                                 std::optional<platform::ByteView> signature) {
  return verify_release(kUrl, manifest, signature, kProduct, kChannel);
}

tl::expected<VerifiedRelease, UpdateError> check_signed(const ReleaseManifest& manifest) {
  const platform::Bytes bytes = manifest_bytes(manifest);
  return check(bytes, testkit::sign_with_test_key(bytes));
}

void expect_refused(const tl::expected<VerifiedRelease, UpdateError>& result,
                    const UpdateError& expected, const std::string& what = "") {
  ASSERT_FALSE(result.has_value()) << what << ": accepted";
  EXPECT_EQ(result.error(), expected) << what << ": " << display_update_error(result.error());
}

std::string test_key_hex() { return hex_lower(testkit::test_signing_public_key()); }

TEST(VerifyReleaseTest, BuildPinsTheTestKey) {
  ASSERT_EQ(pinned_keys().size(), 1u);
  EXPECT_EQ(pinned_keys()[0].key_id, config::pinned_key_id);
  EXPECT_EQ(pinned_keys()[0].public_key_hex, config::pinned_key_hex);
  EXPECT_EQ(pinned_keys()[0].key_id, kTestKeyId);
  EXPECT_EQ(pinned_keys()[0].public_key_hex, test_key_hex());
}

TEST(VerifyReleaseTest, AcceptsAManifestSignedByThePinnedKey) {
  const platform::Bytes bytes = manifest_bytes(valid_manifest());
  const platform::Bytes signature = testkit::sign_with_test_key(bytes);
  const auto result = check(bytes, signature);
  ASSERT_TRUE(result.has_value()) << display_update_error(result.error());
  EXPECT_EQ(result->manifest, valid_manifest());
  EXPECT_EQ(result->key_id, kTestKeyId);
  EXPECT_EQ(result->manifest_bytes, bytes);
  EXPECT_EQ(result->signature, signature);
}

TEST(VerifyReleaseTest, KeyIdOfTheAcceptingEntryNotOfTheManifest) {
  ReleaseManifest manifest = valid_manifest();
  manifest.key_id = kTestKeyId;
  const auto named = check_signed(manifest);
  ASSERT_TRUE(named.has_value()) << display_update_error(named.error());
  EXPECT_EQ(named->key_id, kTestKeyId);
  EXPECT_EQ(named->manifest.key_id, kTestKeyId);

  // A null key_id reads as none and passes too.
  std::string text = testing::manifest_json(valid_manifest());
  text.insert(text.find("  \"files\""), "  \"key_id\": null,\n");
  const auto null_id = check(platform::byte_view(text), testkit::sign_with_test_key(platform::byte_view(text)));
  ASSERT_TRUE(null_id.has_value()) << display_update_error(null_id.error());
  EXPECT_EQ(null_id->manifest.key_id, std::nullopt);
  EXPECT_EQ(null_id->key_id, kTestKeyId);
}

// The release publisher signs with OpenSSL's command-line tool; its
// signatures are the same Ed25519 and verify.
TEST(VerifyReleaseTest, AcceptsASignatureMadeByOpensslPkeyutl) {
  testkit::TempDir dir;
  const platform::Path manifest_path = dir / "release.json";
  const platform::Path signature_path = dir / "release.json.sig";
  const platform::Bytes bytes = manifest_bytes(valid_manifest());
  ASSERT_TRUE(platform::write_file(manifest_path, bytes).has_value());

  const auto run = testkit::run_tool(
      "openssl", {"pkeyutl", "-sign", "-rawin", "-inkey", testkit::tool_path(testkit::test_signing_key_pem()), "-in",
                  testkit::tool_path(manifest_path), "-out", testkit::tool_path(signature_path)});
  ASSERT_TRUE(run.has_value()) << run.error().text();
  ASSERT_EQ(run->exit_code, 0) << platform::to_string(run->stderr_bytes);
  const auto signature = platform::read_file(signature_path);
  ASSERT_TRUE(signature.has_value());
  ASSERT_EQ(signature->size(), 64u);
  // Ed25519 is deterministic: the same key signs the same bytes alike.
  EXPECT_EQ(*signature, testkit::sign_with_test_key(bytes));

  const auto result = check(bytes, *signature);
  ASSERT_TRUE(result.has_value()) << display_update_error(result.error());
  EXPECT_EQ(result->key_id, kTestKeyId);
}

TEST(VerifyReleaseTest, NoSignatureIsRefusedFirst) {
  const std::vector<std::string> manifests = {
      testing::manifest_json(valid_manifest()), "", "not json at all", "{\"product\": 1}"};
  for (const std::string& text : manifests) {
    expect_refused(check(platform::byte_view(text), std::nullopt), {E::NoSignature{kUrl}}, text);
  }
}

TEST(VerifyReleaseTest, SignatureOfTheWrongLength) {
  const platform::Bytes bytes = manifest_bytes(valid_manifest());
  const platform::Bytes good = testkit::sign_with_test_key(bytes);
  platform::Bytes longer = good;
  longer.push_back('\n');
  const platform::Bytes as_hex = platform::to_bytes(hex_lower(good));
  const std::vector<platform::Bytes> signatures = {
      {}, platform::Bytes(good.begin(), good.begin() + 63), longer, as_hex};
  for (const platform::Bytes& signature : signatures) {
    expect_refused(check(bytes, signature), {E::NotEd25519{kUrl, signature.size(), 64}},
                   std::to_string(signature.size()) + " bytes");
  }
  // The length is judged before the manifest is read.
  expect_refused(check(platform::byte_view("garbage"), platform::Bytes(65)),
                 {E::NotEd25519{kUrl, 65, 64}});
}

TEST(VerifyReleaseTest, SignaturesThatDoNotHoldOverTheseBytes) {
  const platform::Bytes bytes = manifest_bytes(valid_manifest());
  const platform::Bytes good = testkit::sign_with_test_key(bytes);
  ASSERT_TRUE(check(bytes, good).has_value());

  struct Case {
    std::string name;
    platform::Bytes manifest;
    platform::Bytes signature;
  };
  std::vector<Case> cases;
  auto add = [&](std::string name, platform::Bytes manifest, platform::Bytes signature) {
    cases.push_back({std::move(name), std::move(manifest), std::move(signature)});
  };

  platform::Bytes newline = bytes;
  newline.push_back('\n');
  add("a trailing newline added after signing", newline, good);
  platform::Bytes shorter(bytes.begin(), bytes.end() - 1);
  add("the last byte dropped after signing", shorter, good);
  std::string crlf;
  for (std::uint8_t b : bytes) {
    if (b == '\n') crlf += '\r';
    crlf += static_cast<char>(b);
  }
  add("line ends rewritten as CRLF", platform::to_bytes(crlf), good);
  for (std::size_t at : {std::size_t{0}, bytes.size() / 2, bytes.size() - 2}) {
    platform::Bytes changed = bytes;
    changed[at] ^= 0x01;
    add("manifest bit flipped at " + std::to_string(at), changed, good);
  }
  for (std::size_t bit : {0u, 100u, 255u, 256u, 300u, 511u}) {
    platform::Bytes flipped = good;
    flipped[bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
    add("signature bit " + std::to_string(bit) + " flipped", bytes, flipped);
  }
  ReleaseManifest other = valid_manifest();
  other.version = "1.4.1";
  other.build = "1.4.1+8f2c1a";
  add("a signature over other bytes", bytes, testkit::sign_with_test_key(manifest_bytes(other)));
  testkit::Ed25519Seed stranger{};
  stranger.fill(7);
  add("a signature by another key", bytes, testkit::sign_with_seed(stranger, bytes));
  add("sixty-four zero bytes", bytes, platform::Bytes(64, 0));
  add("S + L, a non-canonical S", bytes, testing::with_s_plus_order(good));
  for (const auto& r : testing::small_order_encodings()) {
    add(std::string("small-order R: ") + r.name, bytes,
        testing::sign_with_small_order_r(testing::key_from_hex(r.hex), bytes));
  }

  for (const Case& c : cases) {
    expect_refused(check(c.manifest, c.signature), {E::SignatureFailure{kUrl}}, c.name);
  }
}

// Only once the signature holds is anything of the bytes read, so a signed
// text that is no manifest is unusable, with the JSON reader's own text.
TEST(VerifyReleaseTest, SignedBytesThatAreNoManifest) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"hello", "expected value at line 1 column 1"},
      {"", "EOF while parsing a value at line 1 column 0"},
  };
  for (const auto& [text, reason] : cases) {
    const auto bytes = platform::byte_view(text);
    expect_refused(check(bytes, testkit::sign_with_test_key(bytes)), {E::Unusable{kUrl, reason}},
                   text);
  }

  ReleaseManifest manifest = valid_manifest();
  std::string text = testing::manifest_json(manifest);
  const std::size_t files = text.find("  \"files\"");
  text.erase(files, text.find("  \"notes_key\"") - files);
  const auto bytes = platform::byte_view(text);
  const auto parsed = parse_release_manifest(bytes);
  ASSERT_FALSE(parsed.has_value());
  ASSERT_EQ(parsed.error().message, "missing field `files`");
  expect_refused(check(bytes, testkit::sign_with_test_key(bytes)),
                 {E::Unusable{kUrl, parsed.error().display()}});
}

// The RFC 8032 vectors verify under their own keys; their messages are no
// manifests, so the check goes past the signature and stops at reading.
TEST(VerifyReleaseTest, Rfc8032VectorsPassTheSignatureStep) {
  for (const auto& v : testing::rfc8032_vectors()) {
    const std::vector<PinnedKey> table = {{"0000000000000001", v.public_key}};
    const platform::Bytes message = testing::from_hex(v.message);
    const platform::Bytes signature = testing::from_hex(v.signature);
    const auto parsed = parse_release_manifest(message);
    ASSERT_FALSE(parsed.has_value()) << v.name;
    expect_refused(verify_release(table, kUrl, message, signature, kProduct, kChannel),
                   {E::Unusable{kUrl, parsed.error().display()}}, v.name);

    platform::Bytes changed = signature;
    changed[0] ^= 0x80;
    expect_refused(verify_release(table, kUrl, message, changed, kProduct, kChannel),
                   {E::SignatureFailure{kUrl}}, v.name);
    // Not pinned in this build.
    expect_refused(check(message, signature), {E::SignatureFailure{kUrl}}, v.name);
  }
}

TEST(VerifyReleaseTest, UnpinnedKeyId) {
  struct Case {
    const char* name;
    std::string key_id;
    bool break_rules;
  };
  const std::vector<Case> cases = {
      {"another key", "0123456789abcdef", false},
      {"the empty text", "", false},
      {"the pinned id in upper case", "EDA96CEDB3200A2F", false},
      {"the pinned id with a blank", "eda96cedb3200a2f ", false},
      // Every rule broken at once still reports the key.
      {"another key, every rule broken", "0123456789abcdef", true},
  };
  for (const Case& c : cases) {
    ReleaseManifest manifest = valid_manifest();
    manifest.key_id = c.key_id;
    if (c.break_rules) {
      manifest.version = "one";
      manifest.minimum_version = "two";
      manifest.build = "";
      manifest.issued_at_ms = 0;
      manifest.files.clear();
      manifest.product = "elsewhere";
    }
    expect_refused(check_signed(manifest), {E::UnpinnedKey{kUrl, c.key_id}}, c.name);
  }
}

TEST(VerifyReleaseTest, BrokenRuleIsUnusableWithItsReason) {
  ReleaseManifest manifest = valid_manifest();
  manifest.files[1].bytes = 0;
  const auto result = check_signed(manifest);
  expect_refused(result, {E::Unusable{kUrl, "file core.dll claims zero bytes"}});
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(display_update_error(result.error()),
            "the release manifest at "
            "https://localhost:47443/releases/morvane/stable-intl/release.json verified but is "
            "not usable: file core.dll claims zero bytes");
}

TEST(VerifyReleaseTest, WrongProductOnlyAfterEveryRulePasses) {
  struct Case {
    const char* name;
    std::string product;
    std::string channel;
  };
  const std::vector<Case> cases = {
      {"another product", "quillon", kChannel},
      {"another channel", kProduct, "beta-intl"},
      {"the product in another case", "Morvane", kChannel},
      {"the channel with a trailing blank", kProduct, "stable-intl "},
      {"both empty", "", ""},
  };
  for (const Case& c : cases) {
    ReleaseManifest manifest = valid_manifest();
    manifest.product = c.product;
    manifest.channel = c.channel;
    expect_refused(check_signed(manifest),
                   {E::WrongProduct{kUrl, c.product, c.channel, kProduct, kChannel}}, c.name);

    manifest.issued_at_ms = 0;
    expect_refused(check_signed(manifest),
                   {E::Unusable{kUrl, "issued_at_ms 0 is not a time — anti-replay has no axis "
                                      "without it"}},
                   std::string(c.name) + ", a rule broken too");
  }
}

TEST(VerifyReleaseTest, ExplicitTableSkipsEntriesThatAreNoKeys) {
  const platform::Bytes bytes = manifest_bytes(valid_manifest());
  const platform::Bytes signature = testkit::sign_with_test_key(bytes);
  const std::string good = test_key_hex();
  std::string upper = good;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  std::string not_hex = good;
  not_hex[7] = 'g';

  const std::vector<PinnedKey> table = {
      {"1000000000000001", good.substr(0, 62)},
      {"1000000000000002", good + "00"},
      {"1000000000000003", not_hex},
      {"1000000000000004", " " + good.substr(1)},
      {"1000000000000005", "0200000000000000000000000000000000000000000000000000000000000000"},
      {"1000000000000006", "0100000000000000000000000000000000000000000000000000000000000000"},
      {"1000000000000007", testing::rfc8032_vectors()[0].public_key},
      {"1000000000000008", upper},
      {"1000000000000009", good},
  };
  const auto result = verify_release(table, kUrl, bytes, signature, kProduct, kChannel);
  ASSERT_TRUE(result.has_value()) << display_update_error(result.error());
  // The first entry that accepts, here the key written in upper case.
  EXPECT_EQ(result->key_id, "1000000000000008");

  const std::vector<PinnedKey> none_accepts(table.begin(), table.begin() + 7);
  expect_refused(verify_release(none_accepts, kUrl, bytes, signature, kProduct, kChannel),
                 {E::SignatureFailure{kUrl}});
  expect_refused(verify_release({}, kUrl, bytes, signature, kProduct, kChannel),
                 {E::SignatureFailure{kUrl}});
}

// The manifest's key_id is looked up in the whole table, entries that were
// skipped or that did not accept included.
TEST(VerifyReleaseTest, KeyIdMayNameAnyEntryOfTheTable) {
  const std::vector<PinnedKey> table = {
      {"aaaaaaaaaaaaaaaa", "not a key"},
      {"bbbbbbbbbbbbbbbb", testing::rfc8032_vectors()[1].public_key},
      {"cccccccccccccccc", test_key_hex()},
  };
  for (const char* named : {"aaaaaaaaaaaaaaaa", "bbbbbbbbbbbbbbbb", "cccccccccccccccc"}) {
    ReleaseManifest manifest = valid_manifest();
    manifest.key_id = named;
    const platform::Bytes bytes = manifest_bytes(manifest);
    const auto result = verify_release(table, kUrl, bytes, testkit::sign_with_test_key(bytes),
                                       kProduct, kChannel);
    ASSERT_TRUE(result.has_value()) << named << ": " << display_update_error(result.error());
    EXPECT_EQ(result->key_id, "cccccccccccccccc");
  }
  ReleaseManifest manifest = valid_manifest();
  manifest.key_id = "dddddddddddddddd";
  const platform::Bytes bytes = manifest_bytes(manifest);
  expect_refused(verify_release(table, kUrl, bytes, testkit::sign_with_test_key(bytes), kProduct,
                                kChannel),
                 {E::UnpinnedKey{kUrl, "dddddddddddddddd"}});
}

// A pinned key of small order would accept a forged signature over any
// manifest in a lax verifier; here it accepts nothing.
TEST(VerifyReleaseTest, SmallOrderPinnedKeyAcceptsNoForgery) {
  const platform::Bytes bytes = manifest_bytes(valid_manifest());
  const testing::Scalar zero{};
  for (const auto& a : testing::small_order_encodings()) {
    const PublicKeyBytes key = testing::key_from_hex(a.hex);
    const platform::Bytes forged = testing::forge_for_torsion_key(key, zero, bytes);
    ASSERT_TRUE(testing::openssl_accepts(key, forged, bytes)) << a.name;
    const std::vector<PinnedKey> table = {{"5555555555555555", a.hex}};
    expect_refused(verify_release(table, kUrl, bytes, forged, kProduct, kChannel),
                   {E::SignatureFailure{kUrl}}, a.name);
  }
}

}  // namespace
}  // namespace update
