#include "setup/install/install_error_text.hpp"

#include <variant>

#include <fmt/format.h>

#include "morvane/config.hpp"
#include "platform/overloaded.hpp"
#include "setup/common/sentences.hpp"
#include "setup/common/setup_log.hpp"

namespace setup {

namespace {

std::string not_proven_text() {
  return fmt::format("The download did not prove it is {}'s own release, so nothing was installed. Try again later.",
                     config::product_name);
}

std::string not_own_file_text() {
  return fmt::format("A downloaded file was not {}'s own, so nothing was installed. Run the installer again.",
                     config::product_name);
}

std::string unreachable_text() {
  return fmt::format(
      "{}'s download server could not be reached. Check this computer's connection and run the installer again.",
      config::product_name);
}

std::string cancelled_text() { return "The installation was stopped; nothing was installed."; }

}  // namespace

std::string install_error_sentence(const update::UpdateError& error) {
  using E = update::UpdateError;
  // One case for each of the error's kinds, and no catch-all: a kind added
  // to UpdateError does not compile here until it is given its sentence.
  return std::visit(
      platform::Overloaded{
          [](const E::NoSignature&) { return not_proven_text(); },
          [](const E::NotEd25519&) { return not_proven_text(); },
          [](const E::SignatureFailure&) { return not_proven_text(); },
          [](const E::UnpinnedKey&) { return not_proven_text(); },
          [](const E::Unusable&) { return not_proven_text(); },
          [](const E::WrongProduct&) { return not_proven_text(); },
          [](const E::Replay&) { return not_proven_text(); },
          [](const E::HashMismatch&) { return not_own_file_text(); },
          [](const E::SizeMismatch&) { return not_own_file_text(); },
          [](const E::Incomplete&) { return not_own_file_text(); },
          [](const E::Unreachable&) { return unreachable_text(); },
          [](const E::Cancelled&) { return cancelled_text(); },
          [](const E::Io&) { return could_not_install_text(); },
          [](const E::OutsideWriteSet&) { return could_not_install_text(); },
      },
      error.value);
}

std::string install_error_text(const platform::Path& install_dir, const update::UpdateError& error) {
  append_setup_log(install_dir, update::error_one_line(error));
  return install_error_sentence(error);
}

}  // namespace setup
