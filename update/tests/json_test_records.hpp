// Small records and enumerations that the JSON tests read and write, and a
// helper that turns a read into the text a test compares.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/bytes.hpp"
#include "update/json/json_codec.hpp"

namespace update::testing {

struct Sample {
  std::int64_t size = 0;
  std::string name;
  bool operator==(const Sample&) const = default;
};

struct Sized {
  std::uint64_t bytes = 0;
  bool operator==(const Sized&) const = default;
};

struct Note {
  std::string text;
  bool operator==(const Note&) const = default;
};

// Nests itself through a list that may be absent, to reach any depth.
struct Tree {
  std::vector<Tree> kids;
  bool operator==(const Tree&) const = default;
};

enum class Kind { Apply, Rollback };
enum class Heading { North, East, South, West };

struct Order {
  Kind kind = Kind::Apply;
  Heading heading = Heading::North;
  std::optional<std::string> note;
  std::vector<Sample> samples;
  std::optional<Sample> extra;
  bool operator==(const Order&) const = default;
};

// "ok", or the display text of the error that reading the input gives.
template <class T>
std::string read_outcome(std::string_view input) {
  const auto result = json::parse_json<T>(platform::byte_view(input));
  return result ? std::string("ok") : result.error().display();
}

}  // namespace update::testing

namespace update::json {

template <>
struct Table<testing::Sample> {
  static constexpr std::string_view name = "Sample";
  static constexpr std::array fields = {
      field<&testing::Sample::size>("size"),
      field<&testing::Sample::name>("name"),
  };
};

template <>
struct Table<testing::Sized> {
  static constexpr std::string_view name = "Sized";
  static constexpr std::array fields = {field<&testing::Sized::bytes>("bytes")};
};

template <>
struct Table<testing::Note> {
  static constexpr std::string_view name = "Note";
  static constexpr std::array fields = {field<&testing::Note::text>("text")};
};

template <>
struct Table<testing::Tree> {
  static constexpr std::string_view name = "Tree";
  static constexpr std::array fields = {defaulted_field<&testing::Tree::kids>("kids")};
};

template <>
struct Variants<testing::Kind> {
  static constexpr std::array<std::string_view, 2> names = {"apply", "rollback"};
};

template <>
struct Variants<testing::Heading> {
  static constexpr std::array<std::string_view, 4> names = {"north", "east", "south", "west"};
};

template <>
struct Table<testing::Order> {
  static constexpr std::string_view name = "Order";
  static constexpr std::array fields = {
      field<&testing::Order::kind>("kind"),
      field<&testing::Order::heading>("heading"),
      field<&testing::Order::note>("note"),
      defaulted_field<&testing::Order::samples>("samples"),
      field<&testing::Order::extra>("extra"),
  };
};

}  // namespace update::json
