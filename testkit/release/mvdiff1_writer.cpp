#include "testkit/release/mvdiff1_writer.hpp"

#include <openssl/sha.h>

namespace testkit {

namespace {

void put_u64(platform::Bytes& out, std::uint64_t value) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

}  // namespace

std::array<std::uint8_t, 32> raw_sha256(platform::ByteView data) {
  std::array<std::uint8_t, 32> digest{};
  ::SHA256(data.data(), data.size(), digest.data());
  return digest;
}

platform::Bytes write_mvdiff1_header(const update::Mvdiff1Header& header) {
  platform::Bytes out;
  out.reserve(update::mvdiff1_header_size);
  out.insert(out.end(), update::mvdiff1_magic.begin(), update::mvdiff1_magic.end());
  out.insert(out.end(), header.source_sha256.begin(), header.source_sha256.end());
  out.insert(out.end(), header.target_sha256.begin(), header.target_sha256.end());
  put_u64(out, header.target_size);
  put_u64(out, header.control_length);
  put_u64(out, header.diff_length);
  put_u64(out, header.extra_length);
  return out;
}

platform::Bytes encode_triples(std::span<const update::ControlTriple> triples) {
  platform::Bytes out;
  out.reserve(triples.size() * update::mvdiff1_triple_size);
  for (const auto& triple : triples) {
    put_u64(out, triple.add);
    put_u64(out, triple.copy);
    put_u64(out, static_cast<std::uint64_t>(triple.seek));
  }
  return out;
}

platform::Bytes assemble_mvdiff1(const std::array<std::uint8_t, 32>& source_sha256,
                                 const std::array<std::uint8_t, 32>& target_sha256, std::uint64_t target_size,
                                 platform::ByteView control, platform::ByteView diff,
                                 platform::ByteView extra) {
  update::Mvdiff1Header header;
  header.source_sha256 = source_sha256;
  header.target_sha256 = target_sha256;
  header.target_size = target_size;
  header.control_length = control.size();
  header.diff_length = diff.size();
  header.extra_length = extra.size();
  platform::Bytes out = write_mvdiff1_header(header);
  out.insert(out.end(), control.begin(), control.end());
  out.insert(out.end(), diff.begin(), diff.end());
  out.insert(out.end(), extra.begin(), extra.end());
  return out;
}

}  // namespace testkit
