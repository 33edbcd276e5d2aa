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
  out_.push_back('"');
  for (const char c : value) {
    switch (c) {
      case '"': out_ += "\\\""; break;
      case '\\': out_ += "\\\\"; break;
      case '\b': out_ += "\\b"; break;
      case '\f': out_ += "\\f"; break;
      case '\n': out_ += "\\n"; break;
      case '\r': out_ += "\\r"; break;
      case '\t': out_ += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          out_ += fmt::format("\\u{:04x}", static_cast<unsigned>(c));
        } else {
          out_.push_back(c);
        }
    }
  }
  out_.push_back('"');
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
