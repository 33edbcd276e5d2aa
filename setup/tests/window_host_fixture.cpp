#include "setup/tests/window_host_fixture.hpp"

#include "platform/fs.hpp"

namespace window_test {

Boxes::Boxes()
    : previous_(platform::set_box_answer_handler([this](const platform::MessageBox& box) {
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

WindowHostTest::WindowHostTest() { EXPECT_TRUE(platform::create_dirs(root / "tmp")); }

WindowHostTest::~WindowHostTest() = default;

setup::WindowRunEnd WindowHostTest::run(std::function<void(FakeLayer&)> scenario) {
  layer = std::make_unique<FakeLayer>(options);
  layer->scenario = std::move(scenario);
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
