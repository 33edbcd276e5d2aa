// The error of the JSON reader and writer: one message and, once the reader
// has placed it, the line and column where the reader stood.
#pragma once

#include <cstddef>
#include <string>

namespace update {

struct JsonError {
  std::string message;
  // Line counted from 1; 0 while the error has no position yet (and for the
  // writer's errors, which never get one).
  std::size_t line = 0;
  // Bytes of that line consumed when the error arose.
  std::size_t column = 0;

  bool has_position() const { return line != 0; }

  // "<message> at line L column C", or the bare message without a position.
  std::string display() const;

  bool operator==(const JsonError&) const = default;
};

}  // namespace update
