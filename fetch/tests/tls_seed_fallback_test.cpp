// The TLS client's seed on Windows when BCryptGenRandom fails: SystemFunction036
// gives it, and the handshake with nginx is made all the same.
//
// This program gives the static OpenSSL a BCryptGenRandom of its own in place
// of the layer's (platform/win/openssl_seed.cpp): the layer's fill_random,
// with a first source that always fails and the layer's SystemFunction036
// behind it. A program of its own, since OpenSSL takes its seed once.
#include <windows.h>

#include <bcrypt.h>

#include <atomic>
#include <string>

#include <gtest/gtest.h>

#include "fetch/http/request.hpp"
#include "fetch/tests/nginx_peer.hpp"
#include "platform/win/random_sources.hpp"
#include "testkit/host_tools.hpp"

namespace {

std::atomic<int> first_asked{0};
std::atomic<int> fallback_asked{0};

}  // namespace

extern "C" NTSTATUS WINAPI BCryptGenRandom(BCRYPT_ALG_HANDLE, PUCHAR buffer, ULONG size, ULONG) {
  const auto filled = platform::win::fill_random(
      {buffer, size},
      [](std::span<std::uint8_t>) {
        ++first_asked;
        return false;
      },
      [](std::span<std::uint8_t> part) {
        ++fallback_asked;
        return platform::win::rtl_gen_random(part);
      });
  return filled ? 0 : static_cast<NTSTATUS>(0xC0000001);
}

namespace fetch {
namespace {

TEST(TlsSeed, WhenBCryptGenRandomFailsTheHandshakeIsSeededBySystemFunction036) {
  ASSERT_EQ(testkit::missing_program("nginx", "nginx-light"), "");
  const fetch_test::NginxPeer nginx;
  nginx.put("files/seeded.txt", "seeded");
  ASSERT_EQ(first_asked, 0) << "OpenSSL was seeded before the test";

  const auto got = get_bytes(nginx.url(), "/files/seeded.txt", std::nullopt, 8, always_continue());
  ASSERT_TRUE(got) << format_fetch_error(got.error());
  EXPECT_EQ(platform::to_string(*got), "seeded");
  EXPECT_GT(first_asked, 0) << "OpenSSL's seed did not come through the layer";
  EXPECT_EQ(fallback_asked, first_asked.load());
}

}  // namespace
}  // namespace fetch
