// decode_embedded_page and the decoding behind it: the build's stream gives
// back the page's sources joined, exactly, and anything but one intact CRC32-checked xz
// stream of UTF-8 text is refused.
#include "setup/page/embedded_page.hpp"

#include <gtest/gtest.h>

#include <string>

#include "platform/fs.hpp"
#include "testkit/host_tools.hpp"
#include "testkit/xz_tool.hpp"

namespace setup {
namespace {

platform::Bytes xz(std::string_view text, std::string_view check = "crc32") {
  auto stream = testkit::xz_compress(platform::byte_view(text), check);
  EXPECT_TRUE(stream) << stream.error();
  return stream ? *stream : platform::Bytes{};
}

std::string source_text(const std::string& name) {
  auto bytes = platform::read_file(testkit::build_path(MORVANE_PAGE_SOURCE_DIR) / name);
  EXPECT_TRUE(bytes) << name << ": " << bytes.error().text();
  return bytes ? platform::to_string(*bytes) : std::string();
}

// The page's sources as one document: setup.html with each of the lines
// that name setup.css and setup.js replaced by an element holding the file.
std::string joined_sources() {
  std::string page = source_text("setup.html");
  const auto put = [&](const std::string& line, const std::string& element) {
    const auto at = page.find(line);
    EXPECT_NE(at, std::string::npos) << line;
    if (at != std::string::npos) page.replace(at, line.size(), element);
  };
  put("<link rel=\"stylesheet\" href=\"setup.css\">\n", "<style>\n" + source_text("setup.css") + "</style>\n");
  put("<script src=\"setup.js\"></script>\n", "<script>\n" + source_text("setup.js") + "</script>\n");
  return page;
}

TEST(EmbeddedPage, DecodesToTheSourcesJoinedByteForByte) {
  auto page = decode_embedded_page();
  ASSERT_TRUE(page) << page.error();
  EXPECT_EQ(*page, joined_sources());
  EXPECT_EQ(page->find(" src="), std::string::npos) << "the page fetches nothing";
  EXPECT_EQ(page->find("<link"), std::string::npos) << "the page fetches nothing";
}

TEST(EmbeddedPage, IsStoredAsOneCompressedStreamWithACrc32Check) {
  const platform::ByteView stored = embedded_page_xz();
  ASSERT_GT(stored.size(), 12u);
  const platform::Bytes header(stored.begin(), stored.begin() + 8);
  EXPECT_EQ(header, (platform::Bytes{0xFD, '7', 'z', 'X', 'Z', 0x00, 0x00, 0x01}));
  auto page = decode_embedded_page();
  ASSERT_TRUE(page) << page.error();
  EXPECT_LT(stored.size() * 2, page->size());
}

TEST(DecodePageStream, KeepsEveryCharacter) {
  const std::string text = "<p>Morvane \u2014 \u2026 \u2192 \u0645\u0648\u0631\u0648\u0627\u0646 \U0001F4C8</p>";
  auto page = decode_page_stream(xz(text));
  ASSERT_TRUE(page) << page.error();
  EXPECT_EQ(*page, text);
}

TEST(DecodePageStream, RefusesTextThatIsNotUtf8) {
  for (const std::string& bad : {std::string("ok \xC3\x28"), std::string("\xED\xA0\x80"), std::string("\xFF")}) {
    auto page = decode_page_stream(xz(bad));
    ASSERT_FALSE(page);
    EXPECT_EQ(page.error(), "the setup page is not valid UTF-8");
  }
}

TEST(DecodePageStream, RefusesAStreamWithoutACrc32Check) {
  for (const char* check : {"none", "crc64", "sha256"}) {
    auto page = decode_page_stream(xz("<p>page</p>", check));
    ASSERT_FALSE(page) << check;
    EXPECT_EQ(page.error(), "the setup page's xz stream does not carry a CRC32 check") << check;
  }
}

// Every single damaged byte is caught, by the headers' and index's own
// checks or by the CRC32 of the text.
TEST(DecodePageStream, RefusesADamagedByteAnywhere) {
  const platform::Bytes good = xz("<!DOCTYPE html><title>Morvane Setup</title><p>a small page</p>");
  ASSERT_TRUE(decode_page_stream(good));
  for (std::size_t at = 0; at < good.size(); ++at) {
    platform::Bytes damaged = good;
    damaged[at] ^= 0x01;
    EXPECT_FALSE(decode_page_stream(damaged)) << "a flipped bit at byte " << at << " went unnoticed";
  }
}

TEST(DecodePageStream, RefusesAnythingButExactlyOneWholeStream) {
  const platform::Bytes good = xz("<p>page</p>");
  const platform::Bytes other = xz("<p>more</p>");

  platform::Bytes cut(good.begin(), good.end() - 1);
  platform::Bytes half(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() / 2));
  platform::Bytes trailing = good;
  trailing.push_back('x');
  platform::Bytes padded = good;
  padded.insert(padded.end(), 4, 0x00);  // stream padding, as xz allows between streams
  platform::Bytes two = good;
  two.insert(two.end(), other.begin(), other.end());

  const std::pair<const char*, platform::Bytes> cases[] = {
      {"empty", {}},          {"one byte short", cut},       {"half", half},
      {"a byte after it", trailing}, {"stream padding after it", padded}, {"a second stream", two},
      {"not xz", platform::to_bytes("<!DOCTYPE html>")},
  };
  for (const auto& [name, bytes] : cases) {
    auto page = decode_page_stream(bytes);
    ASSERT_FALSE(page) << name;
    EXPECT_EQ(page.error().rfind("the setup page could not be decoded: ", 0), 0u) << name << ": " << page.error();
  }
}

}  // namespace
}  // namespace setup
