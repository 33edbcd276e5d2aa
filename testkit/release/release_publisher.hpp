// The release host's side of a channel, for tests: writes a release as a
// static server publishes it, so that a server rooted at the folder given
// serves the channel below /releases/<product>/<channel>/:
//
//   release.json       the manifest (the JSON writer's pretty-printed form)
//   release.json.sig   its Ed25519 signature under the test key
//   <name>             every file, whole
//   <name>.xz          an xz artifact made by the real xz tool
//   <name>.from-<v>    an mvdiff1 delta from the file of earlier version <v>
//
// Everything that a real channel keeps consistent can be broken on purpose
// through `Faults`, so that tests can make the channels the client must
// refuse.
//
//   testkit::TempDir root;
//   auto published = testkit::publish_release(root.path(), {
//       .version = "1.2.4",
//       .issued_at_ms = 1'700'000'000'000,
//       .files = {{.name = "morvane.exe", .bytes = exe}, {.name = "core.dll", .bytes = dll}},
//   });
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <tl/expected.hpp>

#include "platform/bytes.hpp"
#include "platform/path.hpp"
#include "testkit/release/signing_key.hpp"
#include "update/records/manifest.hpp"

namespace testkit {

inline constexpr const char* kPublishedProduct = "morvane";
inline constexpr const char* kPublishedChannel = "stable-intl";

// One file of a release.
struct PublishedFile {
  std::string name;
  platform::Bytes bytes;
  // The check type of its xz artifact ("crc64", "crc32" or "none"; "sha256"
  // too, which the client refuses), or none for a file without an artifact.
  std::optional<std::string> xz_check = "crc64";
  // Further options for xz, such as "-0".
  std::vector<std::string> xz_options = {};
  // Whether deltas from the earlier releases are made for it.
  bool deltas = true;
};

// A release that came before, whose files the deltas start from.
struct EarlierRelease {
  std::string version;
  std::vector<PublishedFile> files;
};

// Ways to publish a channel that a real publisher never would.
struct Faults {
  // No release.json.sig at all (a stale one from an earlier publish is
  // removed).
  bool omit_signature = false;
  // The signature is made over these bytes instead of release.json's.
  std::optional<platform::Bytes> sign_other_bytes;
  // The signature is made with the key of this seed instead of the test key.
  std::optional<Ed25519Seed> signing_seed;
  // These bytes are published as release.json.sig as they are.
  std::optional<platform::Bytes> signature_bytes;
  // These bytes are published (and signed) as release.json in place of the
  // manifest; the returned manifest is then the one that was not published.
  std::optional<platform::Bytes> manifest_bytes;
  // Changes the manifest after its entries are made and before it is
  // written (a size, a digest, the build, a name...).
  std::function<void(update::ReleaseManifest&)> edit_manifest;
  // Published files (by their published name: a file, an artifact or a
  // delta) whose last byte is flipped after the manifest was made: the size
  // still matches, the SHA-256 does not.
  std::set<std::string> corrupt;
  // Published files that lose their last byte.
  std::set<std::string> truncate;
  // Published files that are not written at all (the server answers 404).
  std::set<std::string> omit;
};

struct Release {
  // MAJOR.MINOR.PATCH; the build is "<version>+<label>".
  std::string version;
  std::string label = "test";
  // Chosen by the caller: the anti-replay axis.
  std::int64_t issued_at_ms = 0;
  std::vector<PublishedFile> files;
  std::vector<EarlierRelease> earlier = {};
  // What the manifest says.
  std::string product = kPublishedProduct;
  std::string channel = kPublishedChannel;
  std::string minimum_version = "0.1.0";
  std::optional<std::string> key_id = std::nullopt;
  std::optional<std::string> notes_key = std::nullopt;
  // Where it is served: /releases/<serve_product>/<serve_channel>/.
  std::string serve_product = kPublishedProduct;
  std::string serve_channel = kPublishedChannel;
  Faults faults = {};
};

struct PublishedRelease {
  // The channel folder: <root>/releases/<product>/<channel>.
  platform::Path channel_dir;
  // The manifest as made (before a manifest_bytes fault replaced its bytes).
  update::ReleaseManifest manifest;
  // What was published as release.json and release.json.sig (the signature
  // empty when it was omitted).
  platform::Bytes manifest_bytes;
  platform::Bytes signature;
};

// Writes the release into its channel folder below `root`, replacing
// release.json, its signature and any file of the same name that an earlier
// publish left there (other files stay). Failures (xz, the delta maker, the
// file system) are a sentence.
tl::expected<PublishedRelease, std::string> publish_release(const platform::Path& root, const Release& release);

// The regular files directly inside a folder, by name, in name order, each
// with the default artifact and deltas.
tl::expected<std::vector<PublishedFile>, std::string> files_from_folder(const platform::Path& folder);

// The channel folder below a root: <root>/releases/<product>/<channel>.
platform::Path channel_dir(const platform::Path& root, const std::string& product = kPublishedProduct,
                           const std::string& channel = kPublishedChannel);

// The published names of a file's artifact and of its delta from a version.
std::string artifact_name(const std::string& file);
std::string delta_name(const std::string& file, const std::string& from_version);

}  // namespace testkit
