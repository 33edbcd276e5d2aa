// One window-mode run against the scripted layer, with scripted jobs, boxes
// that the test answers, and a sandbox for the install folder, the
// temporary folder and the registry hive.
#pragma once

#include <deque>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "platform/message_box.hpp"
#include "setup/tests/scoped_env.hpp"
#include "setup/tests/window_fake_layer.hpp"
#include "setup/tests/window_jobs.hpp"
#include "setup/window/window_run.hpp"
#include "testkit/temp_dir.hpp"

namespace window_test {

// Takes every box while it lives: records it, runs `while_open` (the box's
// nested loop) and answers with the next of `answers`, else the default.
class Boxes {
 public:
  Boxes();
  ~Boxes();
  Boxes(const Boxes&) = delete;
  Boxes& operator=(const Boxes&) = delete;

  std::vector<platform::BoxSpec> seen;
  std::deque<platform::BoxAnswer> answers;
  std::function<void(const platform::BoxSpec&)> while_open;

 private:
  platform::BoxAnswerHandler previous_;
};

// The texts the window shows, as the user reads them.
inline constexpr const char* starting_line = "Starting the Morvane installer\u2026";
inline constexpr const char* asking_line = "Asking for the newest Morvane\u2026";
inline constexpr const char* stop_installing = "Stop installing Morvane? Nothing will be installed.";
inline constexpr const char* stop_updating = "Stop updating Morvane? Your installed Morvane stays as it is.";
inline constexpr const char* finishing = "Morvane is being put in place; it is done in a moment.";
inline constexpr const char* generic_failure = "Morvane could not be installed. Run the installer again.";
inline constexpr const char* window_caption = "Morvane Setup";
inline constexpr const char* failure_caption = "Morvane \u2014 not done";
inline constexpr const char* starting_state = R"(mv.state({"phase":"starting"}))";
// What the page is told of the theme when it is ready.
inline constexpr const char* light_theme = R"(mv.theme("light"))";
inline constexpr const char* dark_theme = R"(mv.theme("dark"))";
inline constexpr const char* the_page = "<!DOCTYPE html><title>the page</title>";

setup::SetupStatus downloading(std::uint64_t done, std::uint64_t total, std::optional<std::string> from = {});
setup::SetupStatus in_phase(setup::SetupPhase phase);
setup::InstallResult installed(std::string version, std::optional<std::string> previous = {}, bool current = false);
setup::InstallResult failed(std::string sentence);

// How many lines start with the prefix, and where the first equal line is
// (lines.size() when none is).
std::size_t count_starting_with(const std::vector<std::string>& lines, const std::string& prefix);
std::size_t index_of(const std::vector<std::string>& lines, const std::string& line);

// The worker stores a finished job's result right after the job returns;
// this gives it the moment it needs.
void let_worker_store();

class WindowHostTest : public ::testing::Test {
 protected:
  WindowHostTest();
  ~WindowHostTest() override;

  // Runs the window with `scenario` as its loop.
  setup::WindowRunEnd run(std::function<void(FakeLayer&)> scenario);

  // The page posts "ready".
  static void ready(FakeLayer& layer);
  // Ticks until the page got a script that starts with `prefix`.
  static void wait_for_script(FakeLayer& layer, const std::string& prefix);

  testkit::TempDir root;
  platform::Path install_dir = root / "local" / "Programs" / "MORVANE";
  platform::Path data_dir = root / "tmp" / "morvane-setup-4242";
  setup_test::ScopedEnv tmp_env{"TMPDIR", (root / "tmp").string()};
  setup_test::ScopedEnv hive_env{"MORVANE_HIVE_DIR", (root / "hive").string()};
  FakeLayerOptions options;
  std::unique_ptr<FakeLayer> layer;
  ScriptedJobs jobs;
  Boxes boxes;
  setup::PageSource page_source = [] { return tl::expected<std::string, std::string>(the_page); };
  // What the folder removal did, when the test puts in its own.
  std::optional<setup::FolderRemoval> folder_removal;
};

}  // namespace window_test
