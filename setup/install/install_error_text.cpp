#include "setup/install/install_error_text.hpp"

#include <type_traits>
#include <variant>

#include <fmt/format.h>

#include "setup/install/product.hpp"
#include "setup/install/sentences.hpp"
#include "setup/install/setup_log.hpp"

namespace setup {

namespace {

std::string not_proven_text() {
  return fmt::format("The download did not prove it is {}'s own release, so nothing was installed. Try again later.",
                     product_name);
}

std::string not_own_file_text() {
  return fmt::format("A downloaded file was not {}'s own, so nothing was installed. Run the installer again.",
                     product_name);
}

std::string unreachable_text() {
  return fmt::format(
      "{}'s download server could not be reached. Check this computer's connection and run the installer again.",
      product_name);
}

std::string cancelled_text() { return "The installation was stopped; nothing was installed."; }

}  // namespace

std::string install_error_sentence(const update::UpdateError& error) {
  using E = update::UpdateError;
  return std::visit(
      [](const auto& variant) -> std::string {
        using V = std::decay_t<decltype(variant)>;
        if constexpr (std::is_same_v<V, E::NoSignature> || std::is_same_v<V, E::NotEd25519> ||
                      std::is_same_v<V, E::SignatureFailure> || std::is_same_v<V, E::UnpinnedKey> ||
                      std::is_same_v<V, E::Unusable> || std::is_same_v<V, E::WrongProduct> ||
                      std::is_same_v<V, E::Replay>) {
          return not_proven_text();
        } else if constexpr (std::is_same_v<V, E::HashMismatch> || std::is_same_v<V, E::SizeMismatch> ||
                             std::is_same_v<V, E::Incomplete>) {
          return not_own_file_text();
        } else if constexpr (std::is_same_v<V, E::Unreachable>) {
          return unreachable_text();
        } else if constexpr (std::is_same_v<V, E::Cancelled>) {
          return cancelled_text();
        } else {
          // Io, OutsideWriteSet and anything added later.
          return could_not_install_text();
        }
      },
      error.value);
}

std::string install_error_text(const platform::Path& install_dir, const update::UpdateError& error) {
  append_setup_log(install_dir, update::error_one_line(error));
  return install_error_sentence(error);
}

}  // namespace setup
