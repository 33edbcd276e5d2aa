#include <gtest/gtest.h>

#include "fetch/http/goes_direct.hpp"
#include "fetch/http/tls_server_name.hpp"

namespace fetch {
namespace {

ProxySettings with_proxy(std::vector<std::string> no_proxy = {}, bool bypass_all = false) {
  ProxySettings settings;
  settings.endpoint = ProxyEndpoint{ProxyKind::Http, "proxy.example", std::nullopt, 3128};
  settings.no_proxy = std::move(no_proxy);
  settings.bypass_all = bypass_all;
  return settings;
}

TEST(GoesDirect, LocalAndPrivateHostsBypassTheProxy) {
  const std::pair<const char*, bool> cases[] = {
      {"localhost", true},
      {"LocalHost", true},
      {"127.0.0.1", true},
      {"127.example.com", true},  // compared as text
      {"[::1]", true},
      {"::1", true},
      {"[0:0:0:0:0:0:0:1]", false},  // the IPv6 loopback only as "::1"
      {"printer.localhost", true},
      {"10.1.2.3", true},
      {"172.16.0.1", true},
      {"172.31.0.1", true},
      {"172.32.0.1", false},
      {"192.168.1.1", true},
      {"169.254.0.5", true},
      {"100.64.0.1", true},
      {"100.100.0.1", true},
      {"100.128.0.1", false},
      {"[fd00::1]", true},
      {"[fc00::1]", true},
      {"[fe80::1]", true},
      {"[fec0::1]", false},
      {"[2001:db8::1]", false},
      {"intranet", true},
      {"intranet.", true},
      {"nas.local", true},
      {"nas.LOCAL.", true},
      {"8.8.8.8", false},
      {"releases.example.com", false},
      {"", false},
      {".", false},
  };
  const ProxySettings settings = with_proxy();
  for (const auto& [host, direct] : cases) {
    EXPECT_EQ(goes_direct(host, settings), direct) << host;
  }
}

TEST(GoesDirect, NoProxyEntriesMatchAsTextSuffixes) {
  struct Case {
    std::vector<std::string> no_proxy;
    const char* host;
    bool direct;
  };
  const Case cases[] = {
      {{"example.com"}, "example.com", true},
      {{"example.com"}, "api.example.com", true},
      {{"example.com"}, "example.com.", true},
      {{"example.com"}, "API.Example.COM", true},
      {{"example.com"}, "badexample.com", false},
      {{".example.com"}, "example.com", true},
      {{".example.com"}, "api.example.com", true},
      {{"..example.com"}, "api.example.com", true},
      {{"example.com:8080"}, "example.com", false},
      {{"*.example.com"}, "api.example.com", false},
      {{"*.example.com"}, "*.example.com", true},
      {{"10.0.0.0/8"}, "11.0.0.1", false},
      {{"2001:db8::1"}, "[2001:db8::1]", false},
      {{"[2001:db8::1]"}, "[2001:db8::1]", true},
      {{"other.org", "example.com"}, "www.example.com", true},
      {{}, "www.example.com", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(goes_direct(c.host, with_proxy(c.no_proxy)), c.direct) << c.host << " / " << c.no_proxy.size();
  }
}

TEST(GoesDirect, BypassAllSendsEveryHostDirect) {
  EXPECT_TRUE(goes_direct("releases.example.com", with_proxy({}, true)));
  EXPECT_TRUE(goes_direct("8.8.8.8", with_proxy({}, true)));
}

TEST(TlsServerName, FollowsTheDnsNameRules) {
  const std::pair<std::string, bool> cases[] = {
      {"localhost", true},
      {"releases.example.com", true},
      {"releases.example.com.", true},
      {"under_score.example", true},
      {"x-y.example", true},
      {"1example.com", true},
      {"example.123a", true},
      {"a", true},
      {"", false},
      {".", false},
      {"example..com", false},
      {".example.com", false},
      {"example.com..", false},
      {"-x.example", false},
      {"x-.example", false},
      {"example.123", false},
      {"127.0.0.1", false},
      {"1.2.3.4.", true},  // a trailing dot after digits is a DNS name
      {"[::1]", false},
      {"exa mple.com", false},
      {"exämple.com", false},
      {std::string(63, 'a') + ".com", true},
      {std::string(64, 'a') + ".com", false},
      {std::string(63, 'a') + "." + std::string(63, 'b') + "." + std::string(63, 'c') + "." + std::string(61, 'd'),
       true},  // 253 characters
      {std::string(63, 'a') + "." + std::string(63, 'b') + "." + std::string(63, 'c') + "." + std::string(62, 'd'),
       false},
  };
  for (const auto& [text, dns] : cases) EXPECT_EQ(is_dns_name(text), dns) << text;
}

TEST(TlsServerName, IsADnsNameAnAddressOrNothing) {
  using Kind = TlsServerName::Kind;
  EXPECT_EQ(tls_server_name("localhost"), (TlsServerName{Kind::Dns, "localhost"}));
  EXPECT_EQ(tls_server_name("example.com."), (TlsServerName{Kind::Dns, "example.com"}));
  EXPECT_EQ(tls_server_name("127.0.0.1"), (TlsServerName{Kind::Ip, "127.0.0.1"}));
  EXPECT_EQ(tls_server_name("::1"), (TlsServerName{Kind::Ip, "::1"}));
  EXPECT_EQ(tls_server_name("[::1]"), std::nullopt);
  EXPECT_EQ(tls_server_name("256.0.0.1"), std::nullopt);
  EXPECT_EQ(tls_server_name("a b"), std::nullopt);
}

}  // namespace
}  // namespace fetch
