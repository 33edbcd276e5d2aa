#include "update/json/json_writer.hpp"

#include <fmt/format.h>

#include "platform/text.hpp"

namespace update::json {

void Writer::open(char bracket) {
  out_.push_back(bracket);
  has_items_.push_back(false);
}

void Writer::close(char bracket) {
  const bool had_items = has_items_.back();
  has_items_.pop_back();
  if (had_items) new_line();
  out_.push_back(bracket);
}

void Writer::next_item() {
  if (has_items_.back()) out_.push_back(',');
  has_items_.back() = true;
  new_line();
}

void Writer::new_line() {
  out_.push_back('\n');
  out_.append(2 * has_items_.size(), ' ');
}

void Writer::begin_object() { open('{'); }
void Writer::end_object() { close('}'); }
void Writer::begin_array() { open('['); }
void Writer::end_array() { close(']'); }
void Writer::element() { next_item(); }

void Writer::key(std::string_view name) {
  next_item();
  text(name);
  out_.append(": ");
}

void Writer::text(std::string_view value) {
  if (!platform::is_valid_utf8(value) && !failure_) {
    failure_ = JsonError{"text to write is not valid UTF-8"};
  }
  // A text that is not valid UTF-8 fails the whole record above, so what its
  // bad bytes become here is never written out.
  out_ += platform::quote_code_points(value, [](std::string& out, char32_t c) {
    switch (c) {
      case U'"': out += "\\\""; return true;
      case U'\\': out += "\\\\"; return true;
      case U'\b': out += "\\b"; return true;
      case U'\f': out += "\\f"; return true;
      case U'\n': out += "\\n"; return true;
      case U'\r': out += "\\r"; return true;
      case U'\t': out += "\\t"; return true;
      default:
        if (c >= 0x20) return false;
        out += fmt::format("\\u{:04x}", static_cast<unsigned>(c));
        return true;
    }
  });
}

void Writer::number(std::int64_t value) { out_ += fmt::format("{}", value); }
void Writer::number(std::uint64_t value) { out_ += fmt::format("{}", value); }
void Writer::null() { out_ += "null"; }

tl::expected<std::string, JsonError> Writer::finish() && {
  if (failure_) return tl::unexpected(std::move(*failure_));
  return std::move(out_);
}

void write_record(Writer& writer, const RecordShape& shape, const void* record) {
  writer.begin_object();
  for (const auto& field : shape.fields) {
    writer.key(field.name);
    field.write(writer, record);
  }
  writer.end_object();
}

}  // namespace update::json
