// What the stand-in tests share: a hive folder of the test's own, and a run
// of a stand-in by its Windows name with its output as text.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/process.hpp"
#include "testkit/temp_dir.hpp"

namespace standin_test {

struct Run {
  int exit_code = -1;
  std::string out;
  std::string err;
};

inline Run run(const std::string& program, const std::vector<std::string>& args) {
  auto output = platform::run_hidden(program, args);
  if (!output) {
    ADD_FAILURE() << program << " did not start: " << output.error().text();
    return {};
  }
  return {output->exit_code, platform::to_string(output->stdout_bytes), platform::to_string(output->stderr_bytes)};
}

// Points MORVANE_HIVE_DIR at a fresh folder for the test's length.
class HiveFolder {
 public:
  HiveFolder() { ::setenv("MORVANE_HIVE_DIR", dir_.path().c_str(), 1); }
  ~HiveFolder() { ::unsetenv("MORVANE_HIVE_DIR"); }
  HiveFolder(const HiveFolder&) = delete;
  HiveFolder& operator=(const HiveFolder&) = delete;
  const platform::Path& path() const { return dir_.path(); }

 private:
  testkit::TempDir dir_;
};

}  // namespace standin_test
