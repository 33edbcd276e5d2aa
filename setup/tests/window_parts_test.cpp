// The window's parts outside the loop: the worker and its channel, the web
// view's data folder, and the theme read from the user's registry hive.
#include <thread>

#include <gtest/gtest.h>

#include "platform/fs.hpp"
#include "platform/process.hpp"
#include "setup/tests/scoped_env.hpp"
#include "setup/tests/window_fake_layer.hpp"
#include "setup/tests/window_host_fixture.hpp"
#include "setup/window/theme.hpp"
#include "setup/window/user_data_folder.hpp"
#include "setup/window/window_worker.hpp"
#include "testkit/temp_dir.hpp"

namespace window_test {
namespace {

using setup::InstallResult;
using setup::SetupStatus;

TEST(WindowWorker, RunsOneJobPerMessageResettingTheRecordAndSurvivingAFault) {
  testkit::TempDir root;
  const platform::Path install_dir = root / "MORVANE";
  auto shared = std::make_shared<setup::SharedStatus>();
  auto cancel = std::make_shared<setup::CancelFlag>(true);
  int runs = 0;
  std::vector<std::optional<SetupStatus>> seen_at_start;
  const setup::JobRunner runner = [&](const setup::CancelFlag& flag, const setup::StatusSink& sink) -> InstallResult {
    ++runs;
    seen_at_start.push_back(shared->progress());
    EXPECT_EQ(&flag, cancel.get());
    EXPECT_FALSE(shared->has_outcome()) << "emptied before the job";
    SetupStatus status;
    status.files_done = static_cast<std::uint64_t>(runs);
    sink(status);
    if (runs == 2) throw std::runtime_error("out of luck");
    if (runs == 3) throw 42;
    return setup::InstallSuccess{"1.0.0", std::nullopt, false};
  };

  auto [sender, receiver] = setup::make_job_channel();
  for (int i = 0; i < 3; ++i) sender.send(setup::InstallJob{});
  std::thread worker(setup::run_window_worker, std::move(receiver), runner, shared, cancel, install_dir);
  { auto closing = std::move(sender); }  // the worker ends once the three jobs are done
  worker.join();

  EXPECT_EQ(runs, 3);
  for (const auto& progress : seen_at_start) EXPECT_FALSE(progress);
  ASSERT_TRUE(shared->progress());
  EXPECT_EQ(shared->progress()->files_done, 3u);
  const auto outcome = shared->take_outcome();
  ASSERT_TRUE(outcome);
  EXPECT_EQ(*outcome, InstallResult(tl::unexpect, "Morvane could not be installed. Run the installer again."));
  EXPECT_FALSE(shared->has_outcome());
  auto log = platform::read_file(install_dir / "updates" / "setup.log");
  ASSERT_TRUE(log);
  const std::string text = platform::to_string(*log);
  EXPECT_NE(text.find(" the installer's worker stopped: out of luck\n"), std::string::npos) << text;
  EXPECT_NE(text.find(" the installer's worker stopped: a panic\n"), std::string::npos) << text;
}

TEST(WindowWorker, JobsSentWhileOneRunsWaitTheirTurn) {
  auto shared = std::make_shared<setup::SharedStatus>();
  auto cancel = std::make_shared<setup::CancelFlag>(false);
  std::atomic<int> running{0};
  std::atomic<int> most{0};
  std::atomic<int> done{0};
  const setup::JobRunner runner = [&](const setup::CancelFlag&, const setup::StatusSink&) -> InstallResult {
    most = std::max(most.load(), ++running);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    --running;
    ++done;
    return tl::unexpected(std::string("no"));
  };
  auto [sender, receiver] = setup::make_job_channel();
  std::thread worker(setup::run_window_worker, std::move(receiver), runner, shared, cancel, platform::Path("/x"));
  for (int i = 0; i < 4; ++i) sender.send(setup::InstallJob{});
  { auto closing = std::move(sender); }
  worker.join();
  EXPECT_EQ(done, 4);
  EXPECT_EQ(most, 1);
}

TEST(UserDataFolder, IsTheTemporaryFolderWithTheProcessId) {
  testkit::TempDir root;
  setup_test::ScopedEnv tmp("TMPDIR", root.path().string());
  EXPECT_EQ(setup::user_data_folder(), root / ("morvane-setup-" + std::to_string(platform::process_id())));
}

TEST(UserDataFolder, IsRemovedInUpToTwentyTriesAndElseHandedToCmd) {
  const platform::Path folder = "/tmp/morvane-setup-77";
  const struct {
    bool exists;
    int fails;  // removals that fail before one succeeds
    int removes;
    int sleeps;
    bool handed_to_cmd;
  } cases[] = {
      {false, 0, 0, 0, false},
      {true, 0, 1, 0, false},
      {true, 2, 3, 2, false},
      {true, 19, 20, 19, false},
      {true, 1000, 20, 20, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fails);
    int removes = 0;
    std::vector<std::chrono::milliseconds> sleeps;
    std::vector<setup::DelayedRemoval> spawned;
    std::chrono::steady_clock::time_point clock{};
    setup::FolderRemoval removal{
        .exists = [&](const platform::Path& path) {
          EXPECT_EQ(path, folder);
          return c.exists;
        },
        .remove_all = [&](const platform::Path&) { return ++removes > c.fails; },
        .sleep =
            [&](std::chrono::milliseconds pause) {
              sleeps.push_back(pause);
              clock += pause;
            },
        .now = [&] { return clock; },
        .start_delayed_removal = [&](const setup::DelayedRemoval& delayed) { spawned.push_back(delayed); },
    };
    setup::remove_user_data_folder(folder, removal);
    EXPECT_EQ(removes, c.removes);
    EXPECT_EQ(sleeps, std::vector<std::chrono::milliseconds>(static_cast<std::size_t>(c.sleeps),
                                                             std::chrono::milliseconds(100)));
    if (c.handed_to_cmd) {
      ASSERT_EQ(spawned.size(), 1u);
      EXPECT_EQ(spawned[0].working_dir, "/tmp");
      EXPECT_EQ(spawned[0].args, (std::vector<std::string>{"/d", "/v:off", "/c",
                                                           "ping -n 4 127.0.0.1 >nul & rmdir /s /q \"morvane-setup-77\""}));
    } else {
      EXPECT_TRUE(spawned.empty());
    }
  }
}

TEST(UserDataFolder, TriesThatWaitThemselvesStillEndWithinTheTriesTime) {
  // A file held open in the folder: each removal waits for it (about a
  // second in the Windows layer) before it fails.
  const platform::Path folder = "/tmp/morvane-setup-78";
  for (const auto try_time : {std::chrono::milliseconds(1000), std::chrono::milliseconds(1900),
                              std::chrono::milliseconds(5000)}) {
    SCOPED_TRACE(try_time.count());
    const std::chrono::steady_clock::time_point start{};
    std::chrono::steady_clock::time_point clock = start;
    std::vector<std::chrono::steady_clock::time_point> tries;
    int spawned = 0;
    setup::FolderRemoval removal{
        .exists = [](const platform::Path&) { return true; },
        .remove_all =
            [&](const platform::Path&) {
              tries.push_back(clock);
              clock += try_time;
              return false;
            },
        .sleep = [&](std::chrono::milliseconds pause) { clock += pause; },
        .now = [&] { return clock; },
        .start_delayed_removal = [&](const setup::DelayedRemoval&) { ++spawned; },
    };
    setup::remove_user_data_folder(folder, removal);
    ASSERT_FALSE(tries.empty());
    // No try starts once the two seconds of the tries are over.
    for (const auto at : tries) EXPECT_LT(at - start, std::chrono::seconds(2));
    EXPECT_EQ(spawned, 1);
  }
}

TEST(UserDataFolder, TheSystemsRemovalTakesTheWholeFolder) {
  testkit::TempDir root;
  const platform::Path folder = root / "morvane-setup-1";
  ASSERT_TRUE(platform::create_dirs(folder / "a" / "b"));
  ASSERT_TRUE(platform::write_file(folder / "a" / "b" / "c", platform::byte_view("x")));
  setup::remove_user_data_folder(folder, setup::system_folder_removal());
  EXPECT_FALSE(platform::exists(folder));
  EXPECT_TRUE(platform::exists(root.path()));
}

// Sets AppsUseLightTheme in a hive of the test's own with the `reg` the
// program itself runs.
void set_theme_value(const std::string& type, const std::string& data) {
  auto out = platform::run_hidden("reg", {"add", "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
                                          "/v", "AppsUseLightTheme", "/t", type, "/d", data, "/f"});
  ASSERT_TRUE(out);
  ASSERT_EQ(out->exit_code, 0) << platform::to_string(out->stderr_bytes);
}

TEST(Theme, IsDarkOnlyWhenTheUsersValueIsZero) {
  const struct {
    std::optional<std::pair<std::string, std::string>> value;
    bool light;
  } cases[] = {
      {std::nullopt, true},
      {std::pair{"REG_DWORD", "0"}, false},
      {std::pair{"REG_DWORD", "1"}, true},
      {std::pair{"REG_DWORD", "2"}, true},
      {std::pair{"REG_SZ", "0"}, true},
  };
  for (const auto& c : cases) {
    testkit::TempDir hive;
    setup_test::ScopedEnv dir("MORVANE_HIVE_DIR", hive.path().string());
    if (c.value) set_theme_value(c.value->first, c.value->second);
    EXPECT_EQ(setup::read_light_theme(), c.light) << (c.value ? c.value->first + " " + c.value->second : "none");
  }
  EXPECT_EQ(setup::theme_background(true), (platform::Colour{0xFB, 0xF8, 0xF1}));
  EXPECT_EQ(setup::theme_background(false), (platform::Colour{0x0A, 0x06, 0x18}));
}

TEST_F(WindowHostTest, WithTheDarkThemeTheWindowTheWebViewAndThePageAreDark) {
  set_theme_value("REG_DWORD", "0");
  run([&](FakeLayer& l) {
    ASSERT_TRUE(jobs.wait_for_jobs(1));
    jobs.finish(tl::unexpected(std::string("x")));
    ready(l);
    wait_for_script(l, "mv.failed");
    // Told before anything else, and before the window is shown.
    ASSERT_FALSE(l.seen().scripts.empty());
    EXPECT_EQ(l.seen().scripts.front(), dark_theme);
    EXPECT_EQ(count_starting_with(l.seen().scripts, "mv.theme("), 1u);
    EXPECT_LT(index_of(l.seen().events, std::string("script: ") + dark_theme),
              index_of(l.seen().events, "window shown"));
    l.post_message(R"({"type":"close"})");
  });
  ASSERT_TRUE(layer->seen().window_spec);
  EXPECT_EQ(layer->seen().window_spec->background, (platform::Colour{0x0A, 0x06, 0x18}));
  EXPECT_EQ(layer->seen().view_background, (platform::Colour{0x0A, 0x06, 0x18}));
}

}  // namespace
}  // namespace window_test
