#include "setup/tests/window_host_fixture.hpp"

#include <thread>

#include "platform/fs.hpp"

namespace window_test {

Boxes::Boxes()
    : previous_(platform::set_box_answer_handler([this](const platform::BoxSpec& box) {
        seen.push_back(box);
        if (while_open) while_open(box);
        if (answers.empty()) {
          return box.buttons == platform::BoxButtons::YesNo ? platform::BoxAnswer::No : platform::BoxAnswer::Ok;
        }
        const platform::BoxAnswer answer = answers.front();
        answers.pop_front();
        return answer;
      })) {}

Boxes::~Boxes() { platform::set_box_answer_handler(std::move(previous_)); }

setup::SetupStatus downloading(std::uint64_t done, std::uint64_t total, std::optional<std::string> from) {
  setup::SetupStatus status;
  status.phase = setup::SetupPhase::Downloading;
  status.version = "1.2.0";
  status.from_version = std::move(from);
  status.done_bytes = done;
  status.total_bytes = total;
  status.files_total = 4;
  return status;
}

setup::SetupStatus in_phase(setup::SetupPhase phase) {
  setup::SetupStatus status;
  status.phase = phase;
  status.version = "1.2.0";
  return status;
}

setup::InstallResult installed(std::string version, std::optional<std::string> previous, bool current) {
  return setup::InstallSuccess{std::move(version), std::move(previous), current};
}

setup::InstallResult failed(std::string sentence) { return tl::unexpected(std::move(sentence)); }

std::size_t count_starting_with(const std::vector<std::string>& lines, const std::string& prefix) {
  std::size_t n = 0;
  for (const auto& line : lines) n += line.rfind(prefix, 0) == 0 ? 1 : 0;
  return n;
}

std::size_t index_of(const std::vector<std::string>& lines, const std::string& line) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] == line) return i;
  }
  return lines.size();
}

void let_worker_store() { std::this_thread::sleep_for(50ms); }

WindowHostTest::WindowHostTest() { EXPECT_TRUE(platform::create_dirs(root / "tmp")); }

WindowHostTest::~WindowHostTest() = default;

setup::WindowRunEnd WindowHostTest::run(std::function<void(FakeLayer&)> scenario) {
  layer = std::make_unique<FakeLayer>(options);
  layer->scenario = [this, scenario = std::move(scenario)](FakeLayer& l) {
    scenario(l);
    // A failure part-way must not leave the run waiting for a job forever.
    if (HasFailure()) jobs.abandon();
  };
  setup::WindowRunSetup setup{
      .install_dir = install_dir,
      .job_runner = jobs.runner(),
      .user_data_dir = data_dir,
      .page_source = page_source,
  };
  if (folder_removal) setup.folder_removal = *folder_removal;
  return setup::run_window_host(*layer, std::move(setup));
}

void WindowHostTest::ready(FakeLayer& layer) { layer.post_message(R"({"type":"ready"})"); }

void WindowHostTest::wait_for_script(FakeLayer& layer, const std::string& prefix) {
  EXPECT_TRUE(layer.tick_until([&] { return layer.ran_script_starting(prefix); })) << "no script " << prefix;
}

}  // namespace window_test
