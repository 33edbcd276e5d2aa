// The local channel that the updater's tests publish: what the publisher
// writes must be what the program accepts, decodes and applies, and nginx
// must serve it over TLS to the program's own client.
#include "testkit/release/release_publisher.hpp"

#include <gtest/gtest.h>

#include "fetch/digest/sha256.hpp"
#include "fetch/http/request.hpp"
#include "platform/fs.hpp"
#include "testkit/release/release_host.hpp"
#include "testkit/release/scripted_release_host.hpp"
#include "testkit/temp_dir.hpp"
#include "update/check/verify_release.hpp"
#include "update/delta/mvdiff1.hpp"
#include "update/delta/xz_stream.hpp"
#include "update/tests/print_update_error.hpp"

namespace update {
namespace {

platform::Bytes pattern(std::size_t size, std::uint8_t seed) {
  platform::Bytes bytes(size);
  std::uint32_t state = seed;
  for (auto& byte : bytes) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<std::uint8_t>(state >> 16);
  }
  return bytes;
}

platform::Bytes read(const platform::Path& path) {
  auto bytes = platform::read_file(path);
  EXPECT_TRUE(bytes) << platform::display(path);
  return bytes ? std::move(*bytes) : platform::Bytes();
}

platform::Bytes xz_decode(platform::ByteView stream) {
  platform::Bytes out;
  auto decoded = decode_xz_stream(stream, [&](platform::ByteView piece) -> tl::expected<void, platform::IoError> {
    out.insert(out.end(), piece.begin(), piece.end());
    return {};
  });
  EXPECT_TRUE(decoded) << decoded.error();
  return out;
}

// The check type in an xz stream header's flags (its eighth byte).
int xz_check_id(platform::ByteView stream) { return stream.size() > 7 ? stream[7] : -1; }

struct Published : ::testing::Test {
  testkit::TempDir root;
  platform::Bytes exe_old = pattern(40000, 1);
  platform::Bytes exe_new = [this] {
    platform::Bytes changed = exe_old;
    for (std::size_t i = 20000; i < 20100; ++i) changed[i] ^= 0x5a;
    return changed;
  }();
  platform::Bytes dll = pattern(3000, 2);

  testkit::Release two_versions() {
    return testkit::Release{
        .version = "1.2.4",
        .issued_at_ms = 1700000000000,
        .files = {{.name = "morvane.exe", .bytes = exe_new},
                  {.name = "core.dll", .bytes = dll, .xz_check = "crc32"},
                  {.name = "notes.txt", .bytes = platform::to_bytes("plain"), .xz_check = std::nullopt}},
        .earlier = {{.version = "1.2.3",
                     .files = {{.name = "morvane.exe", .bytes = exe_old}, {.name = "core.dll", .bytes = dll}}}},
    };
  }
};

TEST_F(Published, TheChannelIsWhatTheProgramAcceptsDecodesAndApplies) {
  auto published = testkit::publish_release(root.path(), two_versions());
  ASSERT_TRUE(published) << published.error();
  const platform::Path dir = root / "releases" / "morvane" / "stable-intl";
  EXPECT_EQ(published->channel_dir, dir);

  // The manifest and signature on disk are the ones returned, and verify.
  EXPECT_EQ(read(dir / "release.json"), published->manifest_bytes);
  EXPECT_EQ(read(dir / "release.json.sig"), published->signature);
  auto verified = verify_release("u", published->manifest_bytes, platform::ByteView(published->signature), "morvane",
                                 "stable-intl");
  ASSERT_TRUE(verified) << display_update_error(verified.error());
  const ReleaseManifest& manifest = verified->manifest;
  EXPECT_EQ(manifest, published->manifest);
  EXPECT_EQ(manifest.build, "1.2.4+test");
  EXPECT_EQ(manifest.minimum_version, "0.1.0");
  EXPECT_EQ(manifest.issued_at_ms, 1700000000000);
  ASSERT_EQ(manifest.files.size(), 3u);

  // Every file as its entry says.
  for (const FileEntry& entry : manifest.files) {
    SCOPED_TRACE(entry.path);
    const platform::Bytes whole = read(dir / entry.path);
    EXPECT_EQ(entry.bytes, whole.size());
    EXPECT_EQ(entry.sha256, fetch::sha256_hex(whole));
    if (entry.compressed) {
      const platform::Bytes packed = read(dir / entry.compressed->path);
      EXPECT_EQ(entry.compressed->format, "xz");
      EXPECT_EQ(entry.compressed->bytes, packed.size());
      EXPECT_EQ(entry.compressed->sha256, fetch::sha256_hex(packed));
      EXPECT_EQ(xz_decode(packed), whole);
    }
  }
  const FileEntry& exe = manifest.files[0];
  const FileEntry& core = manifest.files[1];
  const FileEntry& notes = manifest.files[2];
  ASSERT_TRUE(exe.compressed);
  EXPECT_EQ(exe.compressed->path, "morvane.exe.xz");
  EXPECT_EQ(xz_check_id(read(dir / "morvane.exe.xz")), 0x04);  // CRC64
  ASSERT_TRUE(core.compressed);
  EXPECT_EQ(xz_check_id(read(dir / "core.dll.xz")), 0x01);  // CRC32
  EXPECT_FALSE(notes.compressed);

  // A delta only where the earlier file differed; it makes the new file.
  ASSERT_EQ(exe.deltas.size(), 1u);
  const Delta& delta = exe.deltas[0];
  EXPECT_EQ(delta.format, "mvdiff1");
  EXPECT_EQ(delta.from_version, "1.2.3");
  EXPECT_EQ(delta.from_sha256, fetch::sha256_hex(exe_old));
  EXPECT_EQ(delta.path, "morvane.exe.from-1.2.3");
  const platform::Bytes patch = read(dir / delta.path);
  EXPECT_EQ(delta.bytes, patch.size());
  EXPECT_EQ(delta.sha256, fetch::sha256_hex(patch));
  EXPECT_LT(patch.size(), exe_new.size() / 4);
  auto applied = apply_mvdiff1(exe_old, patch, exe);
  ASSERT_TRUE(applied) << applied.error();
  EXPECT_EQ(*applied, exe_new);
  EXPECT_TRUE(core.deltas.empty());
  EXPECT_TRUE(notes.deltas.empty());
}

TEST_F(Published, FaultsBreakWhatTheyName) {
  auto release = two_versions();
  release.faults.corrupt = {"morvane.exe", "core.dll.xz"};
  release.faults.truncate = {"morvane.exe.from-1.2.3"};
  release.faults.omit = {"notes.txt"};
  auto published = testkit::publish_release(root.path(), release);
  ASSERT_TRUE(published) << published.error();
  const platform::Path dir = published->channel_dir;
  const FileEntry& exe = published->manifest.files[0];
  const FileEntry& core = published->manifest.files[1];

  const platform::Bytes exe_bytes = read(dir / "morvane.exe");
  EXPECT_EQ(exe_bytes.size(), exe.bytes);
  EXPECT_NE(fetch::sha256_hex(exe_bytes), exe.sha256);
  const platform::Bytes core_xz = read(dir / "core.dll.xz");
  EXPECT_EQ(core_xz.size(), core.compressed->bytes);
  EXPECT_NE(fetch::sha256_hex(core_xz), core.compressed->sha256);
  EXPECT_EQ(read(dir / "core.dll"), dll);
  EXPECT_EQ(read(dir / "morvane.exe.from-1.2.3").size() + 1, exe.deltas[0].bytes);
  EXPECT_FALSE(platform::exists(dir / "notes.txt"));
  // The manifest itself is still good.
  EXPECT_TRUE(verify_release("u", published->manifest_bytes, platform::ByteView(published->signature), "morvane",
                             "stable-intl"));
}

TEST_F(Published, AnOmittedSignatureRemovesTheOneBefore) {
  ASSERT_TRUE(testkit::publish_release(root.path(), two_versions()));
  const platform::Path signature = testkit::channel_dir(root.path()) / "release.json.sig";
  ASSERT_TRUE(platform::exists(signature));
  auto unsigned_release = two_versions();
  unsigned_release.faults.omit_signature = true;
  auto published = testkit::publish_release(root.path(), unsigned_release);
  ASSERT_TRUE(published) << published.error();
  EXPECT_TRUE(published->signature.empty());
  EXPECT_FALSE(platform::exists(signature));
}

TEST_F(Published, AFolderOfFilesIsPublishedInNameOrder) {
  testkit::TempDir build;
  ASSERT_TRUE(platform::write_file(build / "b.dll", platform::byte_view("bee")));
  ASSERT_TRUE(platform::write_file(build / "a.exe", platform::byte_view("ay")));
  ASSERT_TRUE(platform::create_dirs(build / "sub"));
  auto files = testkit::files_from_folder(build.path());
  ASSERT_TRUE(files) << files.error();
  ASSERT_EQ(files->size(), 2u);
  EXPECT_EQ((*files)[0].name, "a.exe");
  EXPECT_EQ((*files)[0].bytes, platform::to_bytes("ay"));
  EXPECT_EQ((*files)[1].name, "b.dll");
}

// Whole and ranged downloads through the program's own client, from both
// hosts: nginx over TLS with the test PKI, and the scripted host.
TEST_F(Published, BothHostsServeTheChannelWholeAndInRanges) {
  auto published = testkit::publish_release(root.path(), two_versions());
  ASSERT_TRUE(published) << published.error();
  testkit::ReleaseHost nginx(root.path());
  testkit::ScriptedReleaseHost scripted(root.path());
  const std::string target = testkit::channel_target("morvane.exe");
  for (const fetch::ServerUrl& url : {nginx.url(), scripted.url()}) {
    SCOPED_TRACE(fetch::format_server_url(url));
    auto whole = fetch::get_bytes(url, target, std::nullopt, 10, fetch::always_continue());
    ASSERT_TRUE(whole) << fetch::format_fetch_error(whole.error());
    EXPECT_EQ(*whole, exe_new);
    auto piece = fetch::get_bytes(url, target, fetch::ByteRange{100, 199, exe_new.size()}, 10,
                                  fetch::always_continue());
    ASSERT_TRUE(piece) << fetch::format_fetch_error(piece.error());
    EXPECT_EQ(*piece, platform::Bytes(exe_new.begin() + 100, exe_new.begin() + 200));
    auto missing = fetch::get_bytes(url, testkit::channel_target("nothing.here"), std::nullopt, 10,
                                    fetch::always_continue());
    ASSERT_FALSE(missing);
    EXPECT_TRUE(missing.error().is<fetch::FetchError::NotFound>());
  }
  EXPECT_EQ(nginx.base_url(), "https://localhost:" + std::to_string(nginx.port()));
  EXPECT_EQ(scripted.targets().size(), 3u);
}

}  // namespace
}  // namespace update
