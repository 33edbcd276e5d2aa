#include "testkit/release/product_standin.hpp"

#include <filesystem>
#include <stdexcept>

#include "platform/fs.hpp"
#include "testkit/host_tools.hpp"

namespace testkit {

platform::Path product_standin_program() { return build_path(MORVANE_PRODUCT_STANDIN_PROGRAM); }

std::string product_exe_preamble() { return "MZ=1 exec \"$MORVANE_PRODUCT_STANDIN\" \"$0\"\n"; }

platform::Bytes make_product_exe(PeOptions options) {
  options.preamble = product_exe_preamble();
  return make_pe_file(options);
}

void write_product_exe(const platform::Path& path, const PeOptions& options) {
  if (auto wrote = platform::write_file(path, make_product_exe(options)); !wrote) {
    throw std::runtime_error("cannot write " + platform::display(path) + ": " + wrote.error().text());
  }
  std::filesystem::permissions(path, std::filesystem::perms(0755));
}

}  // namespace testkit
