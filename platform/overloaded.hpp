// A visitor made of several lambdas, for std::visit over the error variants.
#pragma once

namespace platform {

template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

}  // namespace platform
