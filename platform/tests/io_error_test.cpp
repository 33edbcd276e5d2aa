#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include "platform/io_error.hpp"
#include "testkit/os_codes.hpp"

namespace {

namespace codes = testkit::os_codes;

TEST(IoError, SystemErrorsCarryTheirCodeInTheText) {
  const auto error = platform::IoError::from_os(codes::not_found);
  EXPECT_EQ(error.text(), platform::os_error_text(codes::not_found));
  EXPECT_TRUE(error.text().ends_with(" (os error 2)")) << error.text();
  EXPECT_EQ(error.kind(), platform::ErrorKind::NotFound);
  EXPECT_EQ(error.os_code(), codes::not_found);
  EXPECT_EQ(platform::IoError::from_os(codes::timed_out).kind(), platform::ErrorKind::TimedOut);
  EXPECT_EQ(platform::IoError::from_os(codes::access_denied).kind(), platform::ErrorKind::PermissionDenied);
}

TEST(IoError, TheMessageIsTheSystemsOwnWithoutItsLineBreak) {
#ifdef _WIN32
  // FormatMessageW's text (Wine's wording differs from Windows'), which ends
  // in a line break that the display text leaves out.
  wchar_t message[256] = {};
  ASSERT_GT(::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_FILE_NOT_FOUND,
                             0, message, 256, nullptr),
            0u);
  std::wstring expected(message);
  while (!expected.empty() && (expected.back() == L'\n' || expected.back() == L'\r')) expected.pop_back();
  EXPECT_EQ(platform::os_error_text(ERROR_FILE_NOT_FOUND),
            std::string(expected.begin(), expected.end()) + " (os error 2)");
  // Winsock's codes have messages of their own.
  EXPECT_FALSE(platform::os_error_text(WSAECONNREFUSED).starts_with("Unknown error"));
#else
  EXPECT_EQ(platform::os_error_text(codes::not_found), "No such file or directory (os error 2)");
  EXPECT_EQ(platform::IoError::from_os(codes::timed_out).text(), "Connection timed out (os error 110)");
#endif
}

TEST(IoError, ProgramErrorsKeepTheirOwnText) {
  const auto error = platform::IoError::custom(platform::ErrorKind::TimedOut, "connection timed out");
  EXPECT_EQ(error.text(), "connection timed out");
  EXPECT_EQ(error.os_code(), 0);
}

}  // namespace
