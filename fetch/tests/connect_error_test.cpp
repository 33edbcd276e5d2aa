#include <gtest/gtest.h>

#include <string>

#include "fetch/http/connect_error.hpp"

namespace {

using fetch::ConnectError;

TEST(ConnectErrorSentence, NamesTheHopAndWhatWentWrong) {
  struct Case {
    ConnectError error;
    std::string sentence;
  };
  const Case cases[] = {
      {{ConnectError::Direct{"[::1]:443", "Connection refused (os error 111)"}},
       "could not reach [::1]:443 directly: Connection refused (os error 111)"},
      {{ConnectError::ProxySilent{"10.0.0.1:3128", "failed to fill whole buffer"}},
       "the proxy at 10.0.0.1:3128 is not answering: failed to fill whole buffer"},
      {{ConnectError::ProxyRefused{"127.0.0.1:8080", "HTTP/1.1 401 Unauthorized"}},
       "the proxy at 127.0.0.1:8080 refused this connection: HTTP/1.1 401 Unauthorized"},
      {{ConnectError::ProxyCannotReach{"[fe80::1%2]:1080", "releases.example:443", "the connection timed out"}},
       "the proxy at [fe80::1%2]:1080 could not reach releases.example:443: the connection timed out"},
      {{ConnectError::NotAProxy{"the proxy", "reading its answer: it closed the connection"}},
       "the proxy at the proxy did not answer as a proxy: reading its answer: it closed the connection"},
      {{ConnectError::ProxyAddress{"the host name is longer than SOCKS5 allows"}},
       "the proxy address cannot be read: the host name is longer than SOCKS5 allows"},
  };
  for (const auto& c : cases) EXPECT_EQ(fetch::format_connect_error(c.error), c.sentence);
}

}  // namespace
