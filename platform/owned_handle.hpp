// A system handle that one object owns: it moves and never copies, and it is
// closed once, when its owner goes away or resets it. The layer's File,
// Socket and Listener hold theirs in one, as the Windows layer does its
// kernel handles.
//
// Traits says what the handle is and how it closes:
//   using Value = ...;                     the handle's type
//   static Value none();                   the value that holds no handle
//   static bool is_open(Value);            whether a value holds one
//   static void close(Value) noexcept;     closes a value that holds one
#pragma once

#include <utility>

namespace platform {

template <class Traits>
class OwnedHandle {
 public:
  using Value = typename Traits::Value;

  OwnedHandle() = default;
  explicit OwnedHandle(Value value) : value_(value) {}

  OwnedHandle(OwnedHandle&& other) noexcept : value_(other.release()) {}
  OwnedHandle& operator=(OwnedHandle&& other) noexcept {
    if (this != &other) {
      reset();
      value_ = other.release();
    }
    return *this;
  }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  ~OwnedHandle() { reset(); }

  explicit operator bool() const { return Traits::is_open(value_); }
  Value get() const { return value_; }

  // Gives the handle up without closing it; this object holds none after.
  Value release() { return std::exchange(value_, Traits::none()); }

  // Closes the handle now, if there is one; this object holds none after.
  void reset() {
    const Value value = release();
    if (Traits::is_open(value)) Traits::close(value);
  }

 private:
  Value value_ = Traits::none();
};

}  // namespace platform
