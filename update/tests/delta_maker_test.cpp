// Patches made by the test channel's delta maker, with streams from the real
// xz, applied back by the program.
#include "testkit/release/delta_maker.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "fetch/digest/sha256.hpp"
#include "platform/fs.hpp"
#include "testkit/xz_tool.hpp"
#include "update/delta/mvdiff1.hpp"
#include "update/fuzz/mvdiff1_fixture.hpp"

namespace {

using platform::Bytes;
using platform::ByteView;

Bytes random_bytes(std::size_t size, std::uint32_t seed) {
  std::mt19937 generator(seed);
  Bytes bytes(size);
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(generator());
  return bytes;
}

update::FileEntry entry_for(ByteView made) {
  update::FileEntry entry;
  entry.path = "morvane.exe";
  entry.bytes = made.size();
  entry.sha256 = fetch::sha256_hex(made);
  return entry;
}

testkit::StreamCompressor with_check(std::string check) {
  return [check](ByteView data) { return testkit::xz_compress(data, check); };
}

struct Pair {
  const char* name;
  Bytes old_bytes;
  Bytes new_bytes;
  // The patch may be at most this large.
  std::size_t most;
};

std::vector<Pair> pairs() {
  constexpr std::size_t mib = 1 << 20;
  const Bytes base = random_bytes(mib, 1);
  std::vector<Pair> list;
  auto edited = [&](auto change) {
    Bytes bytes = base;
    change(bytes);
    return bytes;
  };
  // A small change costs a few hundred bytes (the three streams' xz framing
  // is about 200); 4 KiB is 0.4 % of the file.
  const std::size_t small = 4096;
  list.push_back({"identical", base, base, small});
  auto flipped = [&](std::size_t from) {
    return edited([from](Bytes& b) {
      for (std::size_t i = from; i < from + 16; ++i) b[i] ^= 0xA5;
    });
  };
  list.push_back({"16 bytes changed in the middle", base, flipped(500000), small});
  list.push_back({"16 bytes changed at the start", base, flipped(0), small});
  list.push_back({"16 bytes changed at the end", base, flipped(mib - 16), small});
  list.push_back({"1000 bytes inserted", base, edited([](Bytes& b) {
                    const Bytes inserted = random_bytes(1000, 2);
                    b.insert(b.begin() + 300000, inserted.begin(), inserted.end());
                  }),
                  small});
  list.push_back({"1000 bytes deleted", base, edited([](Bytes& b) {
                    b.erase(b.begin() + 700000, b.begin() + 701000);
                  }),
                  small});
  list.push_back({"one byte in every 200 changed", base, edited([](Bytes& b) {
                    for (std::size_t i = 100; i < b.size(); i += 200) b[i] ^= 0x01;
                  }),
                  16 * 1024});
  list.push_back({"blocks moved around", base, edited([&](Bytes& b) {
                    std::copy(base.begin(), base.begin() + mib / 2, b.begin() + mib / 2);
                    std::copy(base.begin() + mib / 2, base.end(), b.begin());
                  }),
                  small});
  // Nothing to share: the patch is about the new file's own size.
  list.push_back({"totally different", base, random_bytes(mib, 3), mib + mib / 50});
  list.push_back({"empty old", Bytes{}, random_bytes(5000, 4), 5000 + 1000});
  list.push_back({"empty new", base, Bytes{}, 1000});
  list.push_back({"both empty", Bytes{}, Bytes{}, 1000});
  list.push_back({"shorter than a block", random_bytes(10, 5), random_bytes(20, 6), 1000});
  list.push_back({"zeros grown", Bytes(100000, 0), Bytes(150000, 0), 1000});
  std::string text;
  for (int i = 0; i < 5000; ++i) text += "line " + std::to_string(i) + " of the product's notes\n";
  std::string edited_text = text;
  edited_text.replace(40000, 30, "a different sentence is here.");
  list.push_back({"text edited", platform::to_bytes(text), platform::to_bytes(edited_text), 2000});
  return list;
}

TEST(DeltaMaker, PatchesApplyBackAndStaySmallForSmallChanges) {
  for (const auto& pair : pairs()) {
    SCOPED_TRACE(pair.name);
    const auto patch = testkit::make_mvdiff1(pair.old_bytes, pair.new_bytes, with_check("crc64"));
    ASSERT_TRUE(patch) << patch.error();
    const auto made = update::apply_mvdiff1(pair.old_bytes, *patch, entry_for(pair.new_bytes));
    ASSERT_TRUE(made) << made.error();
    EXPECT_EQ(*made, pair.new_bytes);
    EXPECT_LE(patch->size(), pair.most);
  }
}

TEST(DeltaMaker, PatchesWithEveryAcceptedCheckApply) {
  const Bytes old_bytes = random_bytes(100000, 7);
  Bytes new_bytes = old_bytes;
  new_bytes.insert(new_bytes.begin() + 5000, 77, 0x42);
  for (const char* check : {"crc64", "crc32", "none"}) {
    SCOPED_TRACE(check);
    const auto patch = testkit::make_mvdiff1(old_bytes, new_bytes, with_check(check));
    ASSERT_TRUE(patch) << patch.error();
    const auto made = update::apply_mvdiff1(old_bytes, *patch, entry_for(new_bytes));
    ASSERT_TRUE(made) << made.error();
    EXPECT_EQ(*made, new_bytes);
  }
  const auto sha256 = testkit::make_mvdiff1(old_bytes, new_bytes, with_check("sha256"));
  ASSERT_TRUE(sha256) << sha256.error();
  EXPECT_EQ(update::apply_mvdiff1(old_bytes, *sha256, entry_for(new_bytes)).error(),
            "the delta's control stream does not decode: the stream's integrity check is SHA-256; only none, "
            "CRC32 and CRC64 are accepted");
}

// The fuzzer's seed patches are committed; they must keep making the
// fuzzer's file, or the fuzzer starts from nothing.
TEST(DeltaMaker, FuzzerSeedsStillApply) {
  const std::filesystem::path corpus = MORVANE_MVDIFF1_CORPUS_DIR;
  const Bytes old_bytes = update::fuzz::mvdiff1_fixture_old();
  const Bytes new_bytes = update::fuzz::mvdiff1_fixture_new();
  const update::FileEntry entry = update::fuzz::mvdiff1_fixture_entry();
  int seeds = 0;
  for (const auto& file : std::filesystem::directory_iterator(corpus)) {
    SCOPED_TRACE(file.path().filename().string());
    const auto patch = platform::read_file(file.path());
    ASSERT_TRUE(patch) << patch.error().text();
    const auto made = update::apply_mvdiff1(old_bytes, *patch, entry);
    ASSERT_TRUE(made) << made.error();
    EXPECT_EQ(*made, new_bytes);
    ++seeds;
  }
  EXPECT_GT(seeds, 0);
}

}  // namespace
