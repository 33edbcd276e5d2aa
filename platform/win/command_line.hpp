// One argument of a Windows command line, quoted so that the C runtime's
// parser (CommandLineToArgvW) reads it back whole and unchanged.
#pragma once

#include <string>

namespace platform::win {

std::wstring quote_argument(const std::wstring& arg);

}  // namespace platform::win
