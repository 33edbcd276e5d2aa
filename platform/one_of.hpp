// A record that holds one of several alternatives, with the two questions
// that every user of such a record asks: is it this alternative, and which
// fields does it carry if it is.
//
// The alternatives and the variant of them live in a plain struct of cases,
// whose `value` is the variant; the record is OneOf over that struct, and is
// built from any one alternative:
//
//   struct AnswerCases {
//     struct Body { std::string text; };
//     struct Redirect { std::string location; };
//     std::variant<Body, Redirect> value;
//   };
//   using Answer = platform::OneOf<AnswerCases>;
//
//   Answer answer{Answer::Redirect{"/elsewhere"}};
//   if (answer.is<Answer::Body>()) ...
//   if (const auto* redirect = answer.get<Answer::Redirect>()) ...
//   std::visit(platform::Overloaded{...}, answer.value);
#pragma once

#include <type_traits>
#include <utility>
#include <variant>

namespace platform {

template <class Cases>
struct OneOf : Cases {
  OneOf() = default;

  // From one alternative (or whatever else the variant takes).
  template <class V>
    requires std::is_constructible_v<decltype(Cases::value), V&&>
  OneOf(V&& alternative) : Cases{std::forward<V>(alternative)} {}

  // True when the record holds a V.
  template <class V>
  bool is() const {
    return std::holds_alternative<V>(this->value);
  }

  // The V that the record holds, or nullptr when it holds another
  // alternative.
  template <class V>
  const V* get() const {
    return std::get_if<V>(&this->value);
  }
};

}  // namespace platform
