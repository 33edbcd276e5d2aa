// What morvane-setup.exe has Windows load before any of its code runs: its
// import table. A DLL that is not on Windows' list of known DLLs is looked
// for in the program's own folder first (the user's Downloads), so only
// known DLLs may be imported; the rest is loaded from the system folder at
// run time. TLS takes its seed from the layer's system random source, never
// from the CryptoAPI's CryptGenRandom.
#include <algorithm>
#include <cctype>
#include <set>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/fs.hpp"
#include "testkit/host_tools.hpp"
#include "testkit/pe_imports.hpp"

namespace setup_test {
namespace {

using ::testing::Contains;
using ::testing::IsEmpty;

// The DLLs that Windows always maps from its own list (KnownDLLs), whatever
// lies beside the program.
const std::set<std::string> kKnownDlls = {
    "advapi32", "clbcatq", "combase", "comdlg32", "coml2", "gdi32", "gdiplus", "imagehlp", "imm32",
    "kernel32", "msctf", "msvcrt", "normaliz", "nsi", "ole32", "oleaut32", "psapi", "rpcrt4", "sechost",
    "setupapi", "shcore", "shell32", "shlwapi", "user32", "wldap32", "ws2_32",
};

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// The setup program's imports, each DLL's name in lower case.
std::vector<testkit::PeImport> setup_imports() {
  const auto file = platform::read_file(testkit::build_path(MORVANE_SETUP_EXE));
  if (!file) {
    ADD_FAILURE() << "cannot read " << MORVANE_SETUP_EXE << ": " << file.error().text();
    return {};
  }
  auto imports = testkit::pe_imports(*file);
  if (!imports) {
    ADD_FAILURE() << MORVANE_SETUP_EXE << ": " << imports.error();
    return {};
  }
  for (auto& entry : *imports) entry.dll = lower(entry.dll);
  return *imports;
}

std::vector<std::string> dll_names(const std::vector<testkit::PeImport>& imports) {
  std::vector<std::string> names;
  for (const auto& entry : imports) names.push_back(entry.dll);
  return names;
}

TEST(SetupExeImports, OnlyDllsOnWindowsListOfKnownDllsAreImported) {
  const auto imports = setup_imports();
  ASSERT_THAT(dll_names(imports), Contains("kernel32.dll"));
  std::vector<std::string> unknown;
  for (const auto& entry : imports) {
    const std::string stem = entry.dll.ends_with(".dll") ? entry.dll.substr(0, entry.dll.size() - 4) : entry.dll;
    if (!kKnownDlls.contains(stem)) unknown.push_back(entry.dll);
  }
  EXPECT_THAT(unknown, IsEmpty()) << "imported, and so looked for beside the program first";
}

TEST(SetupExeImports, TheTlsSeedComesNeitherFromCryptGenRandomNorFromAnImportedBcrypt) {
  const auto imports = setup_imports();
  ASSERT_THAT(dll_names(imports), Contains("advapi32.dll"));
  EXPECT_THAT(dll_names(imports), ::testing::Not(Contains("bcrypt.dll")));
  std::vector<std::string> legacy;
  for (const auto& entry : imports) {
    for (const std::string& function : entry.functions) {
      if (function == "CryptGenRandom" || function == "CryptAcquireContextW" || function == "CryptAcquireContextA") {
        legacy.push_back(entry.dll + "!" + function);
      }
    }
  }
  EXPECT_THAT(legacy, IsEmpty());
}

}  // namespace
}  // namespace setup_test
