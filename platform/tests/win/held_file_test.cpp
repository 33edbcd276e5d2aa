// Reads, moves and removals of a file that another program holds open, as
// an antivirus scanner or an indexer holds each new file for a moment: the
// layer tries again for about a second, so a file let go meanwhile is read,
// moves or goes, and one held for good fails as it did at once before, with
// the system's error. A denial that no waiting mends fails at once.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/fs.hpp"
#include "platform/process.hpp"
#include "platform/win/held_retry.hpp"
#include "testkit/host_tools.hpp"
#include "testkit/temp_dir.hpp"

namespace {

using namespace std::chrono_literals;
using platform::byte_view;
using Clock = std::chrono::steady_clock;

constexpr int kSharingViolation = 32;  // ERROR_SHARING_VIOLATION
constexpr int kAccessDenied = 5;       // ERROR_ACCESS_DENIED

// How another program's handle shares the file it holds.
enum class Sharing { ReadingAndWriting, Nothing };

// Another process that holds `file` (sharing reading and writing, not
// deleting; or sharing nothing) for `hold`, from the moment the object is
// made.
class Holder {
 public:
  Holder(const platform::Path& file, std::chrono::milliseconds hold, Sharing sharing = Sharing::ReadingAndWriting)
      : marker_(file.native() + L".held") {
    const std::string child = platform::display(testkit::build_path(MORVANE_TEST_CHILD));
    std::vector<std::string> args = {"hold-file", platform::display(file), std::to_string(hold.count())};
    if (sharing == Sharing::Nothing) args.push_back("alone");
    thread_ = std::thread([child, args, this] {
      auto ran = platform::run_hidden(child, args);
      code_ = ran ? ran->exit_code : -1;
    });
    const auto until = Clock::now() + 20s;
    while (!platform::exists(marker_) && Clock::now() < until) std::this_thread::sleep_for(5ms);
  }
  ~Holder() { ended(); }
  Holder(const Holder&) = delete;
  Holder& operator=(const Holder&) = delete;

  bool holding() const { return platform::exists(marker_); }
  // Waits for the other process to end; its exit code (0 when it held the file).
  int ended() {
    if (thread_.joinable()) thread_.join();
    (void)platform::remove_file(marker_);
    return code_;
  }

 private:
  platform::Path marker_;
  std::thread thread_;
  int code_ = -1;
};

struct HeldCase {
  const char* name;
  // What is held, below the test's folder, and how the holder shares it.
  std::string held;
  Sharing sharing;
  // The move or removal, in the test's folder.
  std::function<platform::IoResult<void>(const testkit::TempDir&)> act;
  // Whether it went through, once it did.
  std::function<bool(const testkit::TempDir&)> done;
  // The error of a file held for good.
  int code;
};

// Reads `file` whole, keeping what it read in `into`.
platform::IoResult<void> read_into(const platform::Path& file, platform::Bytes& into) {
  auto bytes = platform::read_file(file);
  if (!bytes) return tl::unexpected(bytes.error());
  into = std::move(*bytes);
  return {};
}

std::vector<HeldCase> held_cases() {
  constexpr Sharing kShared = Sharing::ReadingAndWriting;
  // What the reading cases read, for their checks.
  auto read = std::make_shared<platform::Bytes>();
  return {
      {"removing a held file", "f", kShared, [](const auto& dir) { return platform::remove_file(dir / "f"); },
       [](const auto& dir) { return !platform::exists(dir / "f"); }, kSharingViolation},
      {"moving a held file away", "f", kShared,
       [](const auto& dir) { return platform::rename_replace(dir / "f", dir / "g"); },
       [](const auto& dir) { return platform::exists(dir / "g") && !platform::exists(dir / "f"); }, kSharingViolation},
      {"moving a file onto a held one", "g", kShared,
       [](const auto& dir) { return platform::rename_replace(dir / "f", dir / "g"); },
       [](const auto& dir) { return platform::read_file(dir / "g").value_or(platform::Bytes{}) == platform::to_bytes("f"); },
       kAccessDenied},
      {"removing a folder that holds a held file", "d/f", kShared,
       [](const auto& dir) { return platform::remove_dir_all(dir / "d"); },
       [](const auto& dir) { return !platform::exists(dir / "d"); }, kSharingViolation},
      {"reading a file held without sharing", "f", Sharing::Nothing,
       [read](const auto& dir) { return read_into(dir / "f", *read); },
       [read](const auto&) { return *read == platform::to_bytes("f"); }, kSharingViolation},
  };
}

void make_files(const testkit::TempDir& dir) {
  ASSERT_TRUE(platform::write_file(dir / "f", byte_view("f")));
  ASSERT_TRUE(platform::write_file(dir / "g", byte_view("g")));
  ASSERT_TRUE(platform::create_dirs(dir / "d"));
  ASSERT_TRUE(platform::write_file(dir / "d" / "f", byte_view("d/f")));
}

TEST(HeldFiles, AFileHeldForAMomentIsReadMovedOrRemovedOnceItIsLetGo) {
  for (const HeldCase& c : held_cases()) {
    SCOPED_TRACE(c.name);
    testkit::TempDir dir;
    make_files(dir);
    // Half the layer's second of waiting: as much room for this process to
    // come to its first try as for the holder to let go in time.
    Holder holder(dir / c.held, 500ms, c.sharing);
    ASSERT_TRUE(holder.holding());
    const unsigned long waits_before = platform::win::held_retry_waits();
    const auto result = c.act(dir);
    EXPECT_TRUE(result) << result.error().text();
    EXPECT_TRUE(c.done(dir));
    // Its first try met the holder: shown by the layer's count of waits,
    // where a clock would also count the time this process took to start.
    EXPECT_GT(platform::win::held_retry_waits(), waits_before) << "it went through while the file was still held";
    EXPECT_EQ(holder.ended(), 0);
  }
}

TEST(HeldFiles, AFileHeldForGoodFailsWithTheSystemsErrorAfterAboutASecond) {
  for (const HeldCase& c : held_cases()) {
    SCOPED_TRACE(c.name);
    testkit::TempDir dir;
    make_files(dir);
    Holder holder(dir / c.held, 6000ms, c.sharing);
    ASSERT_TRUE(holder.holding());
    const auto started = Clock::now();
    const auto result = c.act(dir);
    const auto took = Clock::now() - started;
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().text(), platform::os_error_text(c.code));
    EXPECT_GE(took, 700ms);
    EXPECT_LT(took, 4000ms);  // it gave up well before the holder let go
    EXPECT_EQ(holder.ended(), 0);
  }
}

// A read-only file, a folder where a file is expected, a folder in the way
// of a move: denied for good, so denied at once.
TEST(HeldFiles, ADenialThatNoWaitingMendsFailsAtOnce) {
  testkit::TempDir dir;
  ASSERT_TRUE(platform::write_file(dir / "read-only", byte_view("r")));
  ASSERT_TRUE(::SetFileAttributesW((dir / "read-only").c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(platform::write_file(dir / "f", byte_view("f")));
  ASSERT_TRUE(platform::create_dirs(dir / "folder"));
  const std::vector<std::pair<const char*, std::function<platform::IoResult<void>()>>> denials = {
      {"removing a read-only file", [&] { return platform::remove_file(dir / "read-only"); }},
      {"removing a folder as a file", [&] { return platform::remove_file(dir / "folder"); }},
      {"moving a file onto a folder", [&] { return platform::rename_replace(dir / "f", dir / "folder"); }},
  };
  for (const auto& [name, act] : denials) {
    SCOPED_TRACE(name);
    const unsigned long waits_before = platform::win::held_retry_waits();
    EXPECT_FALSE(act());
    // Failed on its first try: no wait for a holder to let go.
    EXPECT_EQ(platform::win::held_retry_waits(), waits_before);
  }
  ASSERT_TRUE(::SetFileAttributesW((dir / "read-only").c_str(), FILE_ATTRIBUTE_NORMAL));
}

}  // namespace
