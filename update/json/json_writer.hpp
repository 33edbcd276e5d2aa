// Pretty-printed JSON as the updater writes its records: two blanks of
// indentation per level, one member or element per line, `"key": value`, a
// container that is not empty closing on a line of its own, and no line feed
// at the end.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <tl/expected.hpp>

#include "update/json/json_error.hpp"
#include "update/json/json_record.hpp"

namespace update::json {

class Writer {
 public:
  void begin_object();
  // Starts the next member of the open object: its key, a colon and a blank.
  void key(std::string_view name);
  void end_object();

  void begin_array();
  // Starts the next element of the open array.
  void element();
  void end_array();

  // A string with `"`, `\` and the control characters escaped and every
  // other character as it is. Text that is not valid UTF-8 fails the write.
  void text(std::string_view value);
  void number(std::int64_t value);
  void number(std::uint64_t value);
  void null();

  // The JSON text, or the first failure.
  tl::expected<std::string, JsonError> finish() &&;

 private:
  void open(char bracket);
  void close(char bracket);
  // A comma after the previous member or element, then a new line.
  void next_item();
  void new_line();

  std::string out_;
  // For each open container, whether it holds anything yet.
  std::vector<bool> has_items_;
  std::optional<JsonError> failure_;
};

// Writes the record as an object with all its fields, keys in declared order.
void write_record(Writer& writer, const RecordShape& shape, const void* record);

}  // namespace update::json
