// The installed version, read from morvane.exe's version resource, and the
// product stand-in that test releases install as morvane.exe.
#include <signal.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/fs.hpp"
#include "platform/named_mutex.hpp"
#include "platform/process.hpp"
#include "platform/version_resource.hpp"
#include "setup/install/installed_version.hpp"
#include "setup/tests/scoped_env.hpp"
#include "testkit/file_text.hpp"
#include "testkit/pe_file.hpp"
#include "testkit/release/product_standin.hpp"
#include "testkit/temp_dir.hpp"

namespace {

using testkit::read_text_or_empty;

using namespace std::chrono_literals;
using setup_test::ScopedEnv;

constexpr const char* product_mutex = "Global\\MORVANE.instance";

TEST(InstalledVersion, IsMajorMinorPatchOfTheFixedFileVersion) {
  const struct {
    testkit::PeOptions pe;
    std::optional<std::string> version;
  } cases[] = {
      {{.major = 1, .minor = 2, .patch = 3, .build = 4}, "1.2.3"},
      {{.major = 0, .minor = 1, .patch = 382, .build = 0}, "0.1.382"},
      {{.major = 65535, .minor = 65535, .patch = 65535, .build = 65535}, "65535.65535.65535"},
      {{.major = 2, .minor = 0, .patch = 7, .pe32_plus = false}, "2.0.7"},
      {{.major = 1, .minor = 2, .patch = 3, .with_resource = false}, std::nullopt},
      {{.major = 1, .minor = 2, .patch = 3, .value_length = 51}, std::nullopt},
      {{.major = 1, .minor = 2, .patch = 3, .preamble = testkit::product_exe_preamble()}, "1.2.3"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.version.value_or("(none)"));
    testkit::TempDir dir;
    ASSERT_TRUE(platform::write_file(dir / "morvane.exe", testkit::make_pe_file(c.pe)));
    EXPECT_EQ(setup::read_installed_version(dir.path()), c.version);
  }
}

TEST(InstalledVersion, NoneWithoutARegularFileThatIsAnExecutable) {
  testkit::TempDir dir;
  EXPECT_EQ(setup::read_installed_version(dir.path()), std::nullopt);  // no file
  ASSERT_TRUE(platform::write_file(dir / "morvane.exe", platform::byte_view("MZ but nothing else")));
  EXPECT_EQ(setup::read_installed_version(dir.path()), std::nullopt);

  testkit::TempDir folder;
  ASSERT_TRUE(platform::create_dirs(folder / "morvane.exe"));
  EXPECT_EQ(setup::read_installed_version(folder.path()), std::nullopt);

  // A link to a real executable is read through.
  testkit::TempDir linked;
  ASSERT_TRUE(platform::write_file(linked / "real.exe", testkit::make_pe_file({.major = 3, .minor = 1, .patch = 4})));
  std::filesystem::create_symlink(linked / "real.exe", linked / "morvane.exe");
  EXPECT_EQ(setup::read_installed_version(linked.path()), "3.1.4");
}

TEST(InstalledVersion, TheRootBlockIsReadAsAFixedFileInfo) {
  platform::Bytes block(52, 0);
  // dwFileVersionMS 0x00070008, dwFileVersionLS 0x0009000A; the product
  // version and the signature are left 0 and not looked at.
  block[8] = 0x08, block[10] = 0x07, block[12] = 0x0A, block[14] = 0x09;
  EXPECT_EQ(setup::version_from_root_block(block), "7.8.9");
  EXPECT_EQ(setup::version_from_root_block(platform::ByteView(block).first(51)), std::nullopt);
}

// Waits up to five seconds for the condition.
template <class Condition>
bool eventually(Condition condition) {
  for (int i = 0; i < 250; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(20ms);
  }
  return condition();
}

class ProductStandin : public ::testing::Test {
 protected:
  testkit::TempDir root;
  platform::Path install = root / "MORVANE";
  platform::Path exe = install / "morvane.exe";
  platform::Path log = root / "started.log";
  ScopedEnv runtime{"XDG_RUNTIME_DIR", (root / "run").string()};
  ScopedEnv program{"MORVANE_PRODUCT_STANDIN", testkit::product_standin_program().string()};
  ScopedEnv log_env{"MORVANE_PRODUCT_STANDIN_LOG", log.string()};

  void SetUp() override {
    ASSERT_TRUE(platform::create_dirs(install));
    ASSERT_TRUE(platform::create_dirs(root / "run"));
    testkit::write_product_exe(exe, {.major = 4, .minor = 5, .patch = 6});
  }

  // The pid that the stand-in logged once it held the mutex.
  pid_t started_pid() {
    if (!eventually([&] { return read_text_or_empty(log).ends_with("\n"); })) return -1;
    return static_cast<pid_t>(std::stol(read_text_or_empty(log)));
  }
};

TEST_F(ProductStandin, TheInstalledExeCarriesItsVersionAndStartsTheStandinThatHoldsTheMutex) {
  EXPECT_EQ(setup::read_installed_version(install), "4.5.6");
  EXPECT_EQ(platform::version_root_block(exe)->size(), 52u);
  EXPECT_FALSE(platform::named_mutex_exists(product_mutex));

  ASSERT_TRUE(platform::start_program(exe, install));
  const pid_t pid = started_pid();
  ASSERT_GT(pid, 0) << "the stand-in never started";
  EXPECT_EQ(read_text_or_empty(log), std::to_string(pid) + " " + exe.string() + "\n");
  EXPECT_TRUE(platform::named_mutex_exists(product_mutex));

  // A second product cannot hold the mutex while the first does.
  auto second = platform::run_hidden(testkit::product_standin_program().string(), {});
  ASSERT_TRUE(second);
  EXPECT_EQ(second->exit_code, 1);

  ASSERT_EQ(::kill(pid, SIGTERM), 0);
  EXPECT_TRUE(eventually([] { return !platform::named_mutex_exists(product_mutex); }));
}

TEST_F(ProductStandin, HoldsTheMutexForTheGivenTimeThenEnds) {
  ScopedEnv seconds("MORVANE_PRODUCT_SECONDS", "1");
  const auto began = std::chrono::steady_clock::now();
  ASSERT_TRUE(platform::start_program(exe, install));
  ASSERT_GT(started_pid(), 0);
  EXPECT_TRUE(platform::named_mutex_exists(product_mutex));
  EXPECT_TRUE(eventually([] { return !platform::named_mutex_exists(product_mutex); }));
  EXPECT_GE(std::chrono::steady_clock::now() - began, 900ms);
}

}  // namespace
