// Reading and writing whole values by type: a record by its table of fields,
// an enumeration by its names, and the texts, integers, optional values and
// lists that fields hold.
//
// A record declares its table once; the same table drives reading and
// writing:
//
//   template <>
//   struct json::Table<Artifact> {
//     static constexpr std::string_view name = "Artifact";
//     static constexpr std::array fields = {
//         json::field<&Artifact::format>("format"),
//         json::field<&Artifact::bytes>("bytes"),
//     };
//   };
//
// An enumeration of values without data declares its names, in the order of
// its enumerators (which must count from 0):
//
//   template <>
//   struct json::Variants<Kind> {
//     static constexpr std::array<std::string_view, 2> names = {"apply", "rollback"};
//   };
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include <tl/expected.hpp>

#include "platform/bytes.hpp"
#include "update/json/json_cursor.hpp"
#include "update/json/json_enum.hpp"
#include "update/json/json_list.hpp"
#include "update/json/json_record.hpp"
#include "update/json/json_values.hpp"
#include "update/json/json_writer.hpp"

namespace update::json {

template <class T>
struct Table;

template <class E>
struct Variants;

template <class T>
concept Record = requires {
  { Table<T>::name } -> std::convertible_to<std::string_view>;
  Table<T>::fields;
};

template <class T>
concept UnitEnum = std::is_enum_v<T> && requires { Variants<T>::names; };

template <Record T>
constexpr RecordShape shape_of() {
  static_assert(Table<T>::fields.size() <= RecordShape::kMaxFields);
  return RecordShape{Table<T>::name, Table<T>::fields};
}

// How one value of type T is read and written.
template <class T>
struct Codec;

template <>
struct Codec<std::string> {
  static Status read(Cursor& cursor, std::string& out) { return read_text(cursor, out); }
  static void write(Writer& writer, const std::string& value) { writer.text(value); }
};

template <>
struct Codec<std::int64_t> {
  static Status read(Cursor& cursor, std::int64_t& out) { return read_signed(cursor, out); }
  static void write(Writer& writer, std::int64_t value) { writer.number(value); }
};

template <>
struct Codec<std::uint64_t> {
  static Status read(Cursor& cursor, std::uint64_t& out) { return read_unsigned(cursor, out); }
  static void write(Writer& writer, std::uint64_t value) { writer.number(value); }
};

// null is none; anything else is read as the value.
template <class T>
struct Codec<std::optional<T>> {
  static Status read(Cursor& cursor, std::optional<T>& out) {
    const auto null = read_null(cursor);
    if (!null) return tl::unexpected(null.error());
    if (*null) {
      out.reset();
      return {};
    }
    return Codec<T>::read(cursor, out.emplace());
  }
  static void write(Writer& writer, const std::optional<T>& value) {
    if (value) {
      Codec<T>::write(writer, *value);
    } else {
      writer.null();
    }
  }
};

template <Record T>
struct Codec<T> {
  static Status read(Cursor& cursor, T& out) {
    static constexpr RecordShape kShape = shape_of<T>();
    return read_record(cursor, kShape, &out);
  }
  static void write(Writer& writer, const T& value) {
    static constexpr RecordShape kShape = shape_of<T>();
    write_record(writer, kShape, &value);
  }
};

// A JSON array; null or any other value is refused.
template <class T>
struct Codec<std::vector<T>> {
  static Status read(Cursor& cursor, std::vector<T>& out) {
    if (auto ok = open_list(cursor, "a sequence"); !ok) return ok;
    return close_list(cursor, read_elements(cursor, out));
  }
  static void write(Writer& writer, const std::vector<T>& values) {
    writer.begin_array();
    for (const auto& value : values) {
      writer.element();
      Codec<T>::write(writer, value);
    }
    writer.end_array();
  }

 private:
  static Status read_elements(Cursor& cursor, std::vector<T>& out) {
    bool first = true;
    for (;;) {
      const auto more = next_element(cursor, first);
      if (!more) return tl::unexpected(more.error());
      if (!*more) return {};
      if (auto ok = Codec<T>::read(cursor, out.emplace_back()); !ok) return ok;
    }
  }
};

template <UnitEnum T>
struct Codec<T> {
  static Status read(Cursor& cursor, T& out) {
    const auto index = read_unit_variant(cursor, Variants<T>::names);
    if (!index) return tl::unexpected(index.error());
    out = static_cast<T>(*index);
    return {};
  }
  static void write(Writer& writer, T value) {
    writer.text(Variants<T>::names[static_cast<std::size_t>(value)]);
  }
};

template <class M>
struct MemberOf;

template <class R, class V>
struct MemberOf<V R::*> {
  using Record = R;
  using Value = V;
};

template <class V>
inline constexpr bool kIsOptional = false;
template <class V>
inline constexpr bool kIsOptional<std::optional<V>> = true;

template <auto Member>
constexpr FieldSlot make_field(std::string_view name, bool required) {
  using Owner = typename MemberOf<decltype(Member)>::Record;
  using Value = typename MemberOf<decltype(Member)>::Value;
  return FieldSlot{
      name,
      required,
      [](Cursor& cursor, void* record) -> Status {
        return Codec<Value>::read(cursor, static_cast<Owner*>(record)->*Member);
      },
      [](Writer& writer, const void* record) {
        Codec<Value>::write(writer, static_cast<const Owner*>(record)->*Member);
      },
  };
}

// A field that must be present, unless its type is optional (then absent is none).
template <auto Member>
constexpr FieldSlot field(std::string_view name) {
  return make_field<Member>(name, !kIsOptional<typename MemberOf<decltype(Member)>::Value>);
}

// A field that, when absent, keeps its type's empty value (an empty list, zero).
template <auto Member>
constexpr FieldSlot defaulted_field(std::string_view name) {
  return make_field<Member>(name, false);
}

// The whole input as one value of type T, with nothing but whitespace around it.
template <class T>
tl::expected<T, JsonError> parse_json(platform::ByteView input) {
  Cursor cursor(input);
  T value{};
  if (auto ok = Codec<T>::read(cursor, value); !ok) return tl::unexpected(std::move(ok.error()));
  if (auto ok = cursor.finish(); !ok) return tl::unexpected(std::move(ok.error()));
  return value;
}

// The value as pretty-printed JSON text.
template <class T>
tl::expected<std::string, JsonError> to_json(const T& value) {
  Writer writer;
  Codec<T>::write(writer, value);
  return std::move(writer).finish();
}

}  // namespace update::json
