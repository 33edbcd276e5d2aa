#include "testkit/pe_file.hpp"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace testkit {

namespace {

void put16(platform::Bytes& out, std::size_t at, std::uint32_t value) {
  out[at] = static_cast<std::uint8_t>(value);
  out[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void put32(platform::Bytes& out, std::size_t at, std::uint32_t value) {
  put16(out, at, value & 0xFFFF);
  put16(out, at + 2, value >> 16);
}

constexpr std::uint32_t kSectionRva = 0x1000;
constexpr std::size_t kSectionFile = 0x200;

// The resource section: three directory levels (type 16, name 1, language
// 0x409), one data entry, and the VS_VERSIONINFO block.
platform::Bytes resource_section(const PeOptions& o) {
  platform::Bytes rsrc(0x200, 0);
  // root directory with one id entry: RT_VERSION -> subdirectory at 0x18
  put16(rsrc, 14, 1);
  put32(rsrc, 16, 16);
  put32(rsrc, 20, 0x80000000u | 0x18);
  // name directory at 0x18: VS_VERSION_INFO (1) -> subdirectory at 0x30
  put16(rsrc, 0x18 + 14, 1);
  put32(rsrc, 0x18 + 16, 1);
  put32(rsrc, 0x18 + 20, 0x80000000u | 0x30);
  // language directory at 0x30: 0x409 -> data entry at 0x48
  put16(rsrc, 0x30 + 14, 1);
  put32(rsrc, 0x30 + 16, 0x409);
  put32(rsrc, 0x30 + 20, 0x48);
  // data entry at 0x48 -> block at 0x60
  constexpr std::size_t block = 0x60;
  const std::uint32_t block_length = 40 + 52;
  put32(rsrc, 0x48, kSectionRva + block);
  put32(rsrc, 0x48 + 4, block_length);
  // VS_VERSIONINFO
  put16(rsrc, block, block_length);
  put16(rsrc, block + 2, o.value_length);
  put16(rsrc, block + 4, 0);
  const std::u16string key = u"VS_VERSION_INFO";
  for (std::size_t i = 0; i < key.size(); ++i) put16(rsrc, block + 6 + 2 * i, key[i]);
  // VS_FIXEDFILEINFO at block + 40
  const std::size_t fixed = block + 40;
  put32(rsrc, fixed, 0xFEEF04BDu);
  put32(rsrc, fixed + 4, 0x00010000u);
  put32(rsrc, fixed + 8, (std::uint32_t{o.major} << 16) | o.minor);
  put32(rsrc, fixed + 12, (std::uint32_t{o.patch} << 16) | o.build);
  put32(rsrc, fixed + 16, (std::uint32_t{o.major} << 16) | o.minor);
  put32(rsrc, fixed + 20, (std::uint32_t{o.patch} << 16) | o.build);
  return rsrc;
}

}  // namespace

platform::Bytes make_pe_file(const PeOptions& o) {
  const std::size_t optional_size = o.pe32_plus ? 240 : 224;
  platform::Bytes file(kSectionFile, 0);
  file[0] = 'M';
  file[1] = 'Z';
  if (!o.preamble.empty()) {
    if (!o.preamble.starts_with("MZ") || o.preamble.size() > 0x3C) {
      throw std::invalid_argument("a PE preamble begins with MZ and ends before offset 0x3C");
    }
    std::copy(o.preamble.begin(), o.preamble.end(), file.begin());
  }
  put32(file, 0x3C, 0x40);
  // "PE\0\0" and the file header
  put32(file, 0x40, 0x00004550);
  put16(file, 0x44, o.pe32_plus ? 0x8664 : 0x14C);
  put16(file, 0x46, o.with_resource ? 1 : 0);
  put16(file, 0x54, static_cast<std::uint32_t>(optional_size));
  put16(file, 0x56, 0x0022);
  // the optional header
  const std::size_t optional = 0x58;
  put16(file, optional, o.pe32_plus ? 0x20B : 0x10B);
  const std::size_t count_at = optional + (o.pe32_plus ? 108 : 92);
  const std::size_t directories = optional + (o.pe32_plus ? 112 : 96);
  put32(file, count_at, 16);
  const platform::Bytes rsrc = resource_section(o);
  if (o.with_resource) {
    put32(file, directories + 16, kSectionRva);
    put32(file, directories + 20, static_cast<std::uint32_t>(rsrc.size()));
    // the section table's one entry, ".rsrc"
    const std::size_t section = optional + optional_size;
    const char name[] = ".rsrc";
    for (std::size_t i = 0; i < 5; ++i) file[section + i] = static_cast<std::uint8_t>(name[i]);
    put32(file, section + 8, static_cast<std::uint32_t>(rsrc.size()));
    put32(file, section + 12, kSectionRva);
    put32(file, section + 16, static_cast<std::uint32_t>(rsrc.size()));
    put32(file, section + 20, kSectionFile);
    file.insert(file.end(), rsrc.begin(), rsrc.end());
  }
  return file;
}

}  // namespace testkit
