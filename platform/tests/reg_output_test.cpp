#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "platform/reg_output.hpp"

namespace {

// What `reg query "<key>" /v <name>` prints for a value that is there.
std::string answer(const std::string& value_line) {
  return "\r\nHKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\MORVANE\r\n" + value_line +
         "\r\n\r\n";
}

TEST(RegQueryData, ReadsTheValueLineOfTheAnswer) {
  const struct {
    const char* what;
    std::string output;
    const char* name;
    const char* type;
    std::optional<std::string> data;
  } cases[] = {
      {"a text", answer("    DisplayVersion    REG_SZ    1.2.3"), "DisplayVersion", "REG_SZ", "1.2.3"},
      {"a number", answer("    ProxyEnable    REG_DWORD    0x1"), "ProxyEnable", "REG_DWORD", "0x1"},
      {"blanks and quotes inside the data", answer("    UninstallString    REG_SZ    \"C:\\x y\\uninstall.exe\" --uninstall"),
       "UninstallString", "REG_SZ", "\"C:\\x y\\uninstall.exe\" --uninstall"},
      {"the empty text, four blanks after the type", answer("    Empty    REG_SZ    "), "Empty", "REG_SZ", std::nullopt},
      {"no data after the type", answer("    Empty    REG_SZ"), "Empty", "REG_SZ", std::nullopt},
      {"a missing value prints an empty line", "\r\n", "DisplayVersion", "REG_SZ", std::nullopt},
      {"nothing printed", "", "DisplayVersion", "REG_SZ", std::nullopt},
      {"another value's line", answer("    DisplayName    REG_SZ    Morvane"), "DisplayVersion", "REG_SZ",
       std::nullopt},
      {"the name's case counts", answer("    displayversion    REG_SZ    1.2.3"), "DisplayVersion", "REG_SZ",
       std::nullopt},
      {"bare line feeds", "\nkey\n    ProxyServer    REG_SZ    a:7\n", "ProxyServer", "REG_SZ", "a:7"},
      {"a last line without its end", "ProxyServer\tREG_SZ\ta:7", "ProxyServer", "REG_SZ", "a:7"},
      {"the type repeated", answer("    ProxyServer    REG_SZ    REG_SZREG_SZ a:1"), "ProxyServer", "REG_SZ", "a:1"},
      {"data that holds the type ends there", answer("    ProxyServer    REG_SZ    a:1 REG_SZ b:2"), "ProxyServer",
       "REG_SZ", "a:1"},
      {"only the first line of the name counts",
       answer("    ProxyServer    REG_SZ    \r\n    ProxyServer    REG_SZ    b:2"), "ProxyServer", "REG_SZ",
       std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(platform::reg_query_data(c.output, c.name, c.type), c.data);
  }
}

}  // namespace
