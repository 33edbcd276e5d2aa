// Records read from JSON by a table of their fields, in either of the two
// forms a record may take: an object keyed by field name, or an array of the
// field values in declared order.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "update/json/json_cursor.hpp"

namespace update::json {

class Writer;

// One field of a record: its JSON key, whether it may be absent, and how its
// value is read and written. Both functions are handed the whole record.
struct FieldSlot {
  std::string_view name;
  // Absent required fields are refused; others keep the value they had in
  // the value-initialised record (none, zero, the empty list).
  bool required = true;
  Status (*read)(Cursor&, void* record) = nullptr;
  void (*write)(Writer&, const void* record) = nullptr;
};

// A record's fields in declared order, and the name that messages give its
// type ("struct <name>").
struct RecordShape {
  static constexpr std::size_t kMaxFields = 64;

  std::string_view name;
  std::span<const FieldSlot> fields;
};

// Reads one record of the shape into `record`, which must be value-initialised.
// On failure the record may be partly filled and is to be dropped.
Status read_record(Cursor& cursor, const RecordShape& shape, void* record);

}  // namespace update::json
