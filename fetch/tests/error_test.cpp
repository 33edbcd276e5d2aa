#include "fetch/error.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/io_error.hpp"

namespace fetch {
namespace {

struct SentenceCase {
  const char* name;
  FetchError error;
  std::string sentence;
};

TEST(FetchErrorTest, EveryVariantDisplaysItsSentence) {
  const std::vector<SentenceCase> cases = {
      {"bad url", bad_url_error("ftp://x", "missing http:// or https:// scheme"),
       "bad server URL \"ftp://x\": missing http:// or https:// scheme "
       "(expected http[s]://host[:port][/prefix])"},
      {"bad url with a quote", bad_url_error("https://a\"b", "bad host"),
       "bad server URL \"https://a\\\"b\": bad host (expected http[s]://host[:port][/prefix])"},
      {"unreachable", unreachable_error_at("https://host:443/x", "connection refused"),
       "cannot reach the training-data server at https://host:443/x: connection refused"},
      {"tls refused", tls_refused_error_at("https://host:443", "invalid peer certificate: Expired"),
       "TLS refused the connection to https://host:443: invalid peer certificate: Expired — the "
       "certificate was not acceptable, and nothing was fetched. There is no option to continue "
       "anyway; a client that ignored this would be a client with no TLS at all."},
      {"not found", FetchError{FetchError::NotFound{"/releases/a/b.bin"}},
       "the training-data server has no /releases/a/b.bin (HTTP 404) — the span may reach past "
       "the published snapshot, or the server's lake is a different snapshot than this cache"},
      {"http status", FetchError{FetchError::HttpStatus{"/r/release.json", "busy", 503}},
       "the training-data server answered HTTP 503 for /r/release.json: busy"},
      {"http status, empty message", FetchError{FetchError::HttpStatus{"/x", "", 418}},
       "the training-data server answered HTTP 418 for /x: "},
      {"malformed", malformed_error("/x", "the status line is not HTTP/1.1"),
       "malformed HTTP response from the training-data server for /x: the status line is not "
       "HTTP/1.1"},
      {"not modified", not_modified_error("/r/release.json"),
       "malformed HTTP response from the training-data server for /r/release.json: the server "
       "answered 304 Not Modified to a request that carried no validator — there was nothing for "
       "it to compare against"},
      {"io", fetch_io_error("/tmp/a b/f.bin", platform::IoError::from_os(2)),
       "io error at /tmp/a b/f.bin: " + platform::os_error_text(2)},
      {"no memory", no_memory_error("/r/huge.bin", std::uint64_t{1} << 63),
       "io error at /r/huge.bin: no memory for 9223372036854775808 bytes"},
      {"cancelled", FetchError{FetchError::Cancelled{}},
       "the download was cancelled — nothing partial was installed, and everything already "
       "downloaded is verified and kept"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(format_fetch_error(c.error), c.sentence) << c.name;
  }
}

TEST(FetchErrorTest, BuildersFillTheRightVariant) {
  const auto bad = bad_url_error("u", "r");
  ASSERT_TRUE(bad.is<FetchError::BadUrl>());
  EXPECT_EQ(bad.get<FetchError::BadUrl>()->url, "u");
  EXPECT_EQ(bad.get<FetchError::BadUrl>()->reason, "r");
  EXPECT_EQ(bad.get<FetchError::Malformed>(), nullptr);

  EXPECT_TRUE(unreachable_error_at("u", "r").is<FetchError::Unreachable>());
  EXPECT_TRUE(tls_refused_error_at("u", "r").is<FetchError::TlsRefused>());

  const auto not_modified = not_modified_error("/t");
  ASSERT_TRUE(not_modified.is<FetchError::Malformed>());
  EXPECT_EQ(not_modified.get<FetchError::Malformed>()->target, "/t");

  const auto io = fetch_io_error("/p", platform::IoError::custom(platform::ErrorKind::Other, "own text"));
  ASSERT_TRUE(io.is<FetchError::Io>());
  EXPECT_EQ(*io.get<FetchError::Io>(), (FetchError::Io{"/p", "own text"}));

  EXPECT_EQ(no_memory_error("/t", 12), (FetchError{FetchError::Io{"/t", "no memory for 12 bytes"}}));
}

}  // namespace
}  // namespace fetch
