// A sandbox for one install transaction against a real local channel: the
// testkit publisher writes signed releases into a folder that nginx serves
// over HTTPS on a loopback port of the test's own, and the install folder,
// the temporary folder and the runtime folder of the named mutexes are the
// test's own too (so tests can run side by side). The steps after the
// release is in place are recorded instead of run.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/bytes.hpp"
#include "platform/path.hpp"
#include "setup/install/run_install.hpp"
#include "setup/tests/disk_views.hpp"
#include "setup/tests/product_release.hpp"
#include "setup/tests/scoped_env.hpp"
#include "testkit/release/release_host.hpp"
#include "testkit/release/release_publisher.hpp"
#include "testkit/temp_dir.hpp"

namespace setup_test {

class InstallTest : public ::testing::Test {
 protected:
  InstallTest();

  // Publishes into the channel, starting the host on first use.
  testkit::PublishedRelease publish(const testkit::Release& release);
  const testkit::ReleaseHost& host();

  // One transaction against the test's host, or against the given base URL.
  setup::InstallResult install();
  setup::InstallResult install_from(const std::string& base_url);

  platform::Path exe() const { return install_dir / "morvane.exe"; }
  platform::Path updates() const { return install_dir / "updates"; }
  platform::Path setup_log() const { return updates() / "setup.log"; }
  platform::Path pending(const std::string& version) const { return updates() / "pending" / version; }

  testkit::TempDir sandbox;
  platform::Path tmp = sandbox / "tmp";
  platform::Path runtime = sandbox / "run";
  platform::Path channel_root = sandbox / "channel";
  platform::Path install_dir = sandbox / "local" / "Programs" / "MORVANE";

  // What the run sent, in order: its statuses, then the steps after the
  // release was in place ("copy_uninstaller <folder>", "make_shortcuts
  // <exe>", "write_uninstall_entry <folder> <exe> <version>",
  // "send_install_report <kind> <version>").
  std::vector<setup::SetupStatus> statuses;
  std::vector<std::string> steps;
  // Both of the above in the order they came, a status as "status <phase>".
  std::vector<std::string> events;
  // The step that fails, by its name, and the text it fails with.
  std::map<std::string, std::string> failing_steps;
  // The step that throws, by its name, and the text of what it throws.
  std::map<std::string, std::string> throwing_steps;
  // Called with each status as it arrives, on the run's thread.
  std::function<void(const setup::SetupStatus&)> on_status;
  std::atomic<bool> cancel{false};

 private:
  ScopedEnv tmp_env;
  ScopedEnv runtime_env;
  std::unique_ptr<testkit::ReleaseHost> host_;
};

}  // namespace setup_test
