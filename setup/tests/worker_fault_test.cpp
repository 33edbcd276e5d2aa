#include <exception>
#include <regex>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "platform/fs.hpp"
#include "setup/common/worker_fault.hpp"
#include "testkit/temp_dir.hpp"

namespace setup {
namespace {

template <class T>
std::exception_ptr thrown(T value) {
  try {
    throw value;
  } catch (...) {
    return std::current_exception();
  }
}

struct Unusual {};

TEST(WorkerPanicText, TakesTheTextThatTheFaultCarries) {
  char mutable_text[] = "a char pointer";
  const struct {
    std::exception_ptr fault;
    const char* text;
  } cases[] = {
      {thrown(std::runtime_error("disk on fire")), "disk on fire"},
      {thrown(std::logic_error("")), ""},
      {thrown(std::string("a thrown string")), "a thrown string"},
      {thrown("a string literal"), "a string literal"},
      {thrown(static_cast<char*>(mutable_text)), "a char pointer"},
      {thrown(static_cast<const char*>(nullptr)), "a panic"},
      {thrown(42), "a panic"},
      {thrown(Unusual{}), "a panic"},
      {std::exception_ptr(), "a panic"},
  };
  for (const auto& c : cases) EXPECT_EQ(worker_panic_text(c.fault), c.text);
}

TEST(WorkerStoppedResult, LogsTheFaultAndAnswersThePlainSentence) {
  testkit::TempDir local;
  const platform::Path install_dir = local / "MORVANE";
  const InstallResult result = worker_stopped_result(install_dir, "bad_alloc\nat depth 3");
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error(), "Morvane could not be installed. Run the installer again.");

  auto log = platform::read_file(install_dir / "updates" / "setup.log");
  ASSERT_TRUE(log);
  const std::string text = platform::to_string(*log);
  EXPECT_TRUE(std::regex_match(text, std::regex("[0-9]+ the installer's worker stopped: bad_alloc\nat depth 3\n")))
      << text;
}

}  // namespace
}  // namespace setup
