// Feeds arbitrary bytes to apply_mvdiff1 as the patch of a fixed installed
// file. Seeds that get past the header checks are in corpus/mvdiff1/.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "update/delta/mvdiff1.hpp"
#include "update/fuzz/mvdiff1_fixture.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const platform::Bytes old_bytes = update::fuzz::mvdiff1_fixture_old();
  static const platform::Bytes new_bytes = update::fuzz::mvdiff1_fixture_new();
  static const update::FileEntry entry = update::fuzz::mvdiff1_fixture_entry();

  const auto made = update::apply_mvdiff1(old_bytes, platform::ByteView(data, size), entry);
  // Whatever passes the final digest check is the signed file itself.
  if (made && *made != new_bytes) std::abort();
  return 0;
}
