// The Windows system random source: BCryptGenRandom with the system-preferred
// generator from the system folder's bcrypt.dll, and SystemFunction036 for
// whatever that does not give.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/win/random_sources.hpp"

namespace {

using platform::win::RandomSource;

bool all_zero(const std::vector<std::uint8_t>& bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

TEST(RandomSources, EachOfTheSystemsSourcesGivesBytesOnItsOwn) {
  for (const auto& [name, source] : {std::pair<std::string, RandomSource>{"BCryptGenRandom",
                                                                           platform::win::bcrypt_system_preferred_random},
                                     {"SystemFunction036", platform::win::rtl_gen_random}}) {
    SCOPED_TRACE(name);
    std::vector<std::uint8_t> first(64, 0), second(64, 0);
    ASSERT_TRUE(source(first));
    ASSERT_TRUE(source(second));
    EXPECT_FALSE(all_zero(first));
    EXPECT_NE(first, second);
  }
}

TEST(RandomSources, BcryptIsLoadedFromTheSystemFolderAtRunTime) {
  std::vector<std::uint8_t> bytes(16);
  ASSERT_TRUE(platform::win::bcrypt_system_preferred_random(bytes));
  HMODULE bcrypt = ::GetModuleHandleW(L"bcrypt.dll");
  ASSERT_NE(bcrypt, nullptr);
  wchar_t loaded[MAX_PATH] = {}, system[MAX_PATH] = {};
  ASSERT_GT(::GetModuleFileNameW(bcrypt, loaded, MAX_PATH), 0u);
  ASSERT_GT(::GetSystemDirectoryW(system, MAX_PATH), 0u);
  EXPECT_EQ(::CompareStringOrdinal(loaded, -1, (std::wstring(system) + L"\\bcrypt.dll").c_str(), -1, TRUE),
            CSTR_EQUAL);
}

// Sources of the test's own, which fill with a byte of their own or fail, and
// count what they are asked for.
struct Scripted {
  bool works;
  std::uint8_t fill;
  std::vector<std::size_t> asked;

  RandomSource source() {
    return [this](std::span<std::uint8_t> buffer) {
      asked.push_back(buffer.size());
      if (!works) return false;
      std::fill(buffer.begin(), buffer.end(), fill);
      return true;
    };
  }
};

TEST(RandomSources, TheFallbackFillsWhatTheFirstSourceCannotAndOnlyThat) {
  const struct {
    const char* name;
    bool first_works;
    bool fallback_works;
    std::uint8_t expected;  // every byte; 0 for an error
    std::size_t fallback_asks;
  } cases[] = {
      {"the first source works", true, true, 0xA1, 0},
      {"the first source fails", false, true, 0xB2, 1},
      {"both fail", false, false, 0, 1},
      {"the fallback is not needed even when it would fail", true, false, 0xA1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Scripted first{c.first_works, 0xA1, {}}, fallback{c.fallback_works, 0xB2, {}};
    std::vector<std::uint8_t> buffer(48, 0);
    const auto filled = platform::win::fill_random(buffer, first.source(), fallback.source());
    EXPECT_EQ(first.asked, std::vector<std::size_t>{48});
    EXPECT_EQ(fallback.asked.size(), c.fallback_asks);
    if (c.expected == 0) {
      ASSERT_FALSE(filled);
      EXPECT_EQ(filled.error().text(),
                "the system's random source gives no bytes (BCryptGenRandom and SystemFunction036 failed)");
    } else {
      ASSERT_TRUE(filled) << filled.error().text();
      EXPECT_EQ(buffer, std::vector<std::uint8_t>(48, c.expected));
    }
  }
}

TEST(RandomSources, AnEmptyBufferAsksNoSource) {
  Scripted first{false, 0, {}}, fallback{false, 0, {}};
  EXPECT_TRUE(platform::win::fill_random({}, first.source(), fallback.source()));
  EXPECT_TRUE(first.asked.empty());
  EXPECT_TRUE(fallback.asked.empty());
}

}  // namespace
