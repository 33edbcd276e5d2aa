#include <gtest/gtest.h>

#include <cerrno>

#include "platform/io_error.hpp"

namespace {

TEST(IoError, SystemErrorsCarryTheirCodeInTheText) {
  const auto error = platform::IoError::from_os(ENOENT);
  EXPECT_EQ(error.text(), "No such file or directory (os error 2)");
  EXPECT_EQ(error.kind(), platform::ErrorKind::NotFound);
  EXPECT_EQ(error.os_code(), ENOENT);
  EXPECT_EQ(platform::IoError::from_os(ETIMEDOUT).text(), "Connection timed out (os error 110)");
}

TEST(IoError, ProgramErrorsKeepTheirOwnText) {
  const auto error = platform::IoError::custom(platform::ErrorKind::TimedOut, "connection timed out");
  EXPECT_EQ(error.text(), "connection timed out");
  EXPECT_EQ(error.os_code(), 0);
}

}  // namespace
