// The reader's place in the input: the bytes, how far they are consumed, the
// positions that errors report, and the nesting depth.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include <tl/expected.hpp>

#include "platform/bytes.hpp"
#include "update/json/json_error.hpp"

namespace update::json {

using Status = tl::expected<void, JsonError>;

class Cursor {
 public:
  // Records, lists and enumeration objects nest at most this deep.
  static constexpr int kDepthLimit = 128;

  explicit Cursor(platform::ByteView input) : input_(input) {}

  std::optional<std::uint8_t> peek() const {
    if (index_ == input_.size()) return std::nullopt;
    return input_[index_];
  }
  // Consumes the byte that peek() showed.
  void eat() { ++index_; }
  std::optional<std::uint8_t> next() {
    auto byte = peek();
    if (byte) ++index_;
    return byte;
  }
  // Skips blanks, tabs, line feeds and carriage returns, then peeks.
  std::optional<std::uint8_t> skip_whitespace();

  // The bytes not consumed yet, and a way to consume several at once.
  platform::ByteView rest() const { return input_.subspan(index_); }
  void advance(std::size_t count) { index_ += count; }
  void advance_to_end() { index_ = input_.size(); }
  std::size_t index() const { return index_; }
  platform::ByteView input() const { return input_; }

  // An error placed where the reader stands.
  JsonError error(std::string_view message) const;
  // An error placed as if the byte that peek() shows were consumed as well.
  JsonError peek_error(std::string_view message) const;
  // The error, placed where the reader stands unless it has a place already.
  JsonError place(JsonError error) const;

  // The rest of `null`, `true` or `false` once its first byte is consumed.
  Status ident(std::string_view rest);
  // The `:` after an object's key.
  Status colon();
  // Entering a container (the cursor before its opening byte) and leaving it.
  Status descend();
  void ascend() { ++remaining_depth_; }
  // After the top value: nothing but whitespace may follow.
  Status finish();

 private:
  JsonError at(std::size_t index, std::string_view message) const;

  platform::ByteView input_;
  std::size_t index_ = 0;
  int remaining_depth_ = kDepthLimit;
};

}  // namespace update::json
