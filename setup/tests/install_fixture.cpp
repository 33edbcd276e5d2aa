#include "setup/tests/install_fixture.hpp"

#include <filesystem>
#include <stdexcept>

#include <fmt/format.h>

#include "platform/fs.hpp"

namespace setup_test {

namespace {

std::string phase_word(setup::SetupPhase phase) {
  switch (phase) {
    case setup::SetupPhase::Starting: return "Starting";
    case setup::SetupPhase::Downloading: return "Downloading";
    case setup::SetupPhase::Verifying: return "Verifying";
    case setup::SetupPhase::Installing: return "Installing";
  }
  return "?";
}

}  // namespace

InstallTest::InstallTest()
    : tmp_env("TMPDIR", (sandbox / "tmp").string()), runtime_env("XDG_RUNTIME_DIR", (sandbox / "run").string()) {
  for (const auto& dir : {tmp, runtime, channel_root, install_dir.parent_path()}) {
    if (!platform::create_dirs(dir)) throw std::runtime_error("cannot make " + dir.string());
  }
  std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
}

testkit::PublishedRelease InstallTest::publish(const testkit::Release& release) {
  auto published = testkit::publish_release(channel_root, release);
  if (!published) throw std::runtime_error("cannot publish " + release.version + ": " + published.error());
  host();
  return std::move(*published);
}

const testkit::ReleaseHost& InstallTest::host() {
  if (!host_) host_ = std::make_unique<testkit::ReleaseHost>(channel_root);
  return *host_;
}

setup::InstallResult InstallTest::install() { return install_from(host().base_url()); }

setup::InstallResult InstallTest::install_from(const std::string& base_url) {
  setup::InstallContext context{base_url};
  const auto fails = [this](const std::string& step) -> tl::expected<void, std::string> {
    if (auto it = throwing_steps.find(step); it != throwing_steps.end()) throw std::runtime_error(it->second);
    if (auto it = failing_steps.find(step); it != failing_steps.end()) return tl::unexpected(it->second);
    return {};
  };
  const auto record = [this](std::string line) {
    steps.push_back(line);
    events.push_back(std::move(line));
  };
  context.steps.copy_uninstaller = [=](const platform::Path& dir) {
    record("copy_uninstaller " + dir.string());
    return fails("copy_uninstaller");
  };
  context.steps.make_shortcuts = [=](const platform::Path& exe) {
    record("make_shortcuts " + exe.string());
    return fails("make_shortcuts");
  };
  context.steps.write_uninstall_entry = [=](const platform::Path& dir, const platform::Path& exe,
                                            std::string_view version) {
    record(fmt::format("write_uninstall_entry {} {} {}", dir.string(), exe.string(), version));
    return fails("write_uninstall_entry");
  };
  context.steps.send_install_report = [=](std::string_view kind, std::string_view version) {
    record(fmt::format("send_install_report {} {}", kind, version));
  };
  const setup::StatusSink sink = [this](setup::SetupStatus status) {
    statuses.push_back(status);
    events.push_back("status " + phase_word(status.phase));
    if (on_status) on_status(status);
  };
  return setup::run_install_with(context, install_dir, "stable-intl", cancel, sink);
}

}  // namespace setup_test
