// What the POSIX layer's processes do that Windows' do not: a program named
// without a folder is looked up along PATH, and the names of Windows' own
// commands start this build's stand-ins wherever PATH points. The cases of
// every system are in ../process_test.cpp.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/fs.hpp"
#include "platform/path.hpp"
#include "platform/process.hpp"
#include "testkit/scoped_env.hpp"
#include "testkit/temp_dir.hpp"

namespace {

using platform::to_string;

// A folder holding one shell script under `name` that prints `text`.
void write_script(const platform::Path& folder, const std::string& name, const std::string& text) {
  const auto script = folder / name;
  ASSERT_TRUE(platform::write_file(script, platform::byte_view("#!/bin/sh\nprintf '" + text + "'\nexit 4\n")));
  ASSERT_TRUE(platform::mark_executable(script));
}

TEST(RunHidden, AProgramNamedWithoutAFolderIsTakenFromPath) {
  testkit::TempDir dir;
  write_script(dir.path(), "morvane-path-probe", "found along PATH");
  const char* old_path = std::getenv("PATH");
  const testkit::ScopedEnv path("PATH", platform::display(dir.path()) + ":" + (old_path ? old_path : ""));

  auto out = platform::run_hidden("morvane-path-probe", {});
  ASSERT_TRUE(out) << out.error().text();
  EXPECT_EQ(out->exit_code, 4);
  EXPECT_EQ(to_string(out->stdout_bytes), "found along PATH");
}

TEST(RunHidden, WindowsCommandNamesStartTheStandInsNotWhatPathHolds) {
  testkit::TempDir dir;
  for (const char* name : {"reg", "cmd", "powershell"}) write_script(dir.path(), name, "impostor");
  const testkit::ScopedEnv path("PATH", platform::display(dir.path()));

  for (const char* name : {"reg", "cmd", "powershell"}) {
    SCOPED_TRACE(name);
    auto out = platform::run_hidden(name, {});
    ASSERT_TRUE(out) << out.error().text();
    EXPECT_NE(to_string(out->stdout_bytes), "impostor");
  }
}

}  // namespace
