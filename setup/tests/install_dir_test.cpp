#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "platform/fs.hpp"
#include "setup/common/install_dir.hpp"
#include "setup/tests/scoped_env.hpp"
#include "testkit/temp_dir.hpp"

namespace setup {
namespace {

using setup_test::ScopedEnv;

TEST(FindInstallDir, JoinsProgramsAndTheUpperCaseProductWord) {
  testkit::TempDir local;
  ScopedEnv env("LOCALAPPDATA", local.path().string());
  const auto dir = find_install_dir();
  ASSERT_TRUE(dir) << dir.error();
  EXPECT_EQ(*dir, local.path() / "Programs" / "MORVANE");
  // Finding the folder neither creates nor needs it.
  EXPECT_FALSE(platform::exists(local.path() / "Programs"));
}

TEST(FindInstallDir, RefusesWithoutAUsableLocalAppData) {
  const std::optional<std::string> values[] = {std::nullopt, "", "relative/local"};
  for (const auto& value : values) {
    ScopedEnv env("LOCALAPPDATA", value);
    const auto dir = find_install_dir();
    ASSERT_FALSE(dir) << value.value_or("(unset)") << " gave " << dir->string();
    EXPECT_EQ(dir.error(), "This computer gives no LOCALAPPDATA folder.");
  }
}

}  // namespace
}  // namespace setup
