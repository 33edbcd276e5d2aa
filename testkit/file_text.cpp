#include "testkit/file_text.hpp"

#include "platform/fs.hpp"

namespace testkit {

std::string read_text(const platform::Path& path) {
  auto bytes = platform::read_file(path);
  return bytes ? platform::to_string(*bytes) : "<unreadable: " + bytes.error().text() + ">";
}

std::string read_text_or_empty(const platform::Path& path) {
  auto bytes = platform::read_file(path);
  return bytes ? platform::to_string(*bytes) : std::string();
}

}  // namespace testkit
