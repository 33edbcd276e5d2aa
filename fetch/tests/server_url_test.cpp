#include <gtest/gtest.h>

#include "fetch/http/server_url.hpp"
#include "fetch/tests/fetch_printers.hpp"

namespace fetch {
namespace {

struct UrlCase {
  const char* text;
  const char* host;
  const char* prefix;
  std::uint16_t port;
  bool https;
};

TEST(ParseServerUrl, ReadsSchemeHostPortAndPrefix) {
  const UrlCase cases[] = {
      {"https://host", "host", "", 443, true},
      {"https://host/", "host", "", 443, true},
      {"http://host", "host", "", 80, false},
      {"http://host:8080/api/site/", "host", "/api/site", 8080, false},
      {"https://host:+8443/a//", "host", "/a", 8443, true},
      {"https://host:0", "host", "", 0, true},
      {"https://host:65535", "host", "", 65535, true},
      {"https://[::1]:8443", "[::1]", "", 8443, true},
      {"https://Mixed.Case.Example/Path", "Mixed.Case.Example", "/Path", 443, true},
      {"https://host//", "host", "", 443, true},
      {"https://host/a b/c", "host", "/a b/c", 443, true},
      {"https://host:80:81", "host:80", "", 81, true},  // the last colon counts
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto url = parse_server_url(c.text);
    ASSERT_TRUE(url.has_value()) << format_fetch_error(url.error());
    EXPECT_EQ(*url, (ServerUrl{c.host, c.prefix, c.port, c.https}));
  }
}

TEST(ParseServerUrl, RefusesWithTheWholeTextAndTheReason) {
  const std::pair<const char*, const char*> cases[] = {
      {"ftp://x", "missing http:// or https:// scheme"},
      {"HTTPS://host", "missing http:// or https:// scheme"},
      {"host", "missing http:// or https:// scheme"},
      {"https://", "empty host"},
      {"https:///prefix", "empty host"},
      {"https://host:x", "port is not a number"},
      {"https://host:", "port is not a number"},
      {"https://host:+", "port is not a number"},
      {"https://host:-1", "port is not a number"},
      {"https://host:65536", "port is not a number"},
      {"https://[::1]", "port is not a number"},
  };
  for (const auto& [text, reason] : cases) {
    SCOPED_TRACE(text);
    auto url = parse_server_url(text);
    ASSERT_FALSE(url.has_value());
    EXPECT_EQ(url.error(), bad_url_error(text, reason));
  }
  EXPECT_EQ(format_fetch_error(parse_server_url("ftp://x").error()),
            "bad server URL \"ftp://x\": missing http:// or https:// scheme (expected http[s]://host[:port][/prefix])");
}

TEST(FormatServerUrl, AlwaysWritesThePort) {
  EXPECT_EQ(format_server_url(*parse_server_url("https://host")), "https://host:443");
  EXPECT_EQ(format_server_url(*parse_server_url("http://host/api/site/")), "http://host:80/api/site");
  EXPECT_EQ(format_server_url(*parse_server_url("https://[::1]:8443/x")), "https://[::1]:8443/x");
}

TEST(ServerUrlErrors, NameTheServerAsFormatted) {
  const ServerUrl url = *parse_server_url("https://releases.example:8443/base");
  EXPECT_EQ(unreachable_error(url, "why"), unreachable_error_at("https://releases.example:8443/base", "why"));
  EXPECT_EQ(tls_refused_error(url, "why"), tls_refused_error_at("https://releases.example:8443/base", "why"));
}

}  // namespace
}  // namespace fetch
