#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "fetch/http/diagnostics.hpp"

namespace {

template <class Fault>
std::exception_ptr fault_of(Fault fault) {
  try {
    throw fault;
  } catch (...) {
    return std::current_exception();
  }
}

TEST(PanicText, IsTheFaultsOwnMessageWhenItCarriesOne) {
  EXPECT_EQ(fetch::panic_text(fault_of(std::runtime_error("index 3 out of range"))), "index 3 out of range");
  EXPECT_EQ(fetch::panic_text(fault_of(std::string("a text thrown as it is"))), "a text thrown as it is");
  EXPECT_EQ(fetch::panic_text(fault_of("a literal")), "a literal");
  EXPECT_EQ(fetch::panic_text(fault_of(7)), "a panic that carried no message");
  EXPECT_EQ(fetch::panic_text(nullptr), "a panic that carried no message");
}

TEST(LogStderr, WritesOneWholeLinePerCallEvenFromManyThreads) {
  testing::internal::CaptureStderr();
  fetch::log_stderr("address attempt could not start: no threads left");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "morvane: address attempt could not start: no threads left\n");

  testing::internal::CaptureStderr();
  const std::string text(300, 'x');
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&] {
      for (int j = 0; j < 50; ++j) fetch::log_stderr(text);
    });
  }
  for (auto& thread : threads) thread.join();
  std::istringstream lines(testing::internal::GetCapturedStderr());
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count) ASSERT_EQ(line, "morvane: " + text);
  EXPECT_EQ(count, 400);
}

}  // namespace
