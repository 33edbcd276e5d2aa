// Reads the version resource straight out of a PE file: the resource
// directory (RT_VERSION, the VS_VERSION_INFO entry, its first language), the
// VS_VERSIONINFO block, and its value, the fixed file info.
#include "platform/version_resource.hpp"

#include <cstdint>
#include <cstring>

#include "platform/fs.hpp"

namespace platform {

namespace {

constexpr std::uint32_t kRtVersion = 16;
constexpr std::uint32_t kVsVersionInfo = 1;

class Reader {
 public:
  explicit Reader(ByteView bytes) : bytes_(bytes) {}

  bool has(std::uint64_t offset, std::uint64_t length) const {
    return offset <= bytes_.size() && length <= bytes_.size() - offset;
  }
  std::uint16_t u16(std::uint64_t offset) const {
    return static_cast<std::uint16_t>(bytes_[offset] | (bytes_[offset + 1] << 8));
  }
  std::uint32_t u32(std::uint64_t offset) const {
    return static_cast<std::uint32_t>(u16(offset)) | (static_cast<std::uint32_t>(u16(offset + 2)) << 16);
  }
  ByteView slice(std::uint64_t offset, std::uint64_t length) const { return bytes_.subspan(offset, length); }

 private:
  ByteView bytes_;
};

struct Section {
  std::uint32_t virtual_address;
  std::uint32_t virtual_size;
  std::uint32_t raw_offset;
  std::uint32_t raw_size;
};

struct Image {
  std::vector<Section> sections;
  std::uint32_t resource_rva = 0;
  std::uint32_t resource_size = 0;
};

std::optional<Image> read_headers(const Reader& file) {
  if (!file.has(0, 64) || file.u16(0) != 0x5A4D) return std::nullopt;  // "MZ"
  const std::uint32_t pe = file.u32(0x3C);
  if (!file.has(pe, 24) || file.u32(pe) != 0x00004550) return std::nullopt;  // "PE\0\0"
  const std::uint16_t section_count = file.u16(pe + 6);
  const std::uint16_t optional_size = file.u16(pe + 20);
  const std::uint64_t optional = pe + 24;
  if (!file.has(optional, optional_size) || optional_size < 2) return std::nullopt;
  const std::uint16_t magic = file.u16(optional);
  std::uint64_t count_at;
  std::uint64_t directories_at;
  if (magic == 0x10B) {
    count_at = 92, directories_at = 96;
  } else if (magic == 0x20B) {
    count_at = 108, directories_at = 112;
  } else {
    return std::nullopt;
  }
  Image image;
  if (optional_size >= count_at + 4 && file.u32(optional + count_at) > 2 &&
      optional_size >= directories_at + 3 * 8) {
    image.resource_rva = file.u32(optional + directories_at + 16);
    image.resource_size = file.u32(optional + directories_at + 20);
  }
  const std::uint64_t table = optional + optional_size;
  if (!file.has(table, std::uint64_t{section_count} * 40)) return std::nullopt;
  for (std::uint16_t i = 0; i < section_count; ++i) {
    const std::uint64_t at = table + std::uint64_t{i} * 40;
    image.sections.push_back({file.u32(at + 12), file.u32(at + 8), file.u32(at + 20), file.u32(at + 16)});
  }
  return image;
}

// The file offset of an RVA, when some section's raw data holds `length`
// bytes from it.
std::optional<std::uint64_t> file_offset(const Image& image, std::uint32_t rva, std::uint64_t length) {
  for (const auto& s : image.sections) {
    const std::uint64_t size = std::max(s.virtual_size, s.raw_size);
    if (rva >= s.virtual_address && rva - s.virtual_address < size) {
      const std::uint64_t inside = rva - s.virtual_address;
      if (inside + length > s.raw_size) return std::nullopt;
      return std::uint64_t{s.raw_offset} + inside;
    }
  }
  return std::nullopt;
}

// One entry of a resource directory: the wanted id when present, else (for
// `any`) the first entry. Answers the entry's OffsetToData field.
std::optional<std::uint32_t> find_entry(const Reader& file, std::uint64_t directory, std::optional<std::uint32_t> id) {
  if (!file.has(directory, 16)) return std::nullopt;
  const std::uint32_t named = file.u16(directory + 12);
  const std::uint32_t ids = file.u16(directory + 14);
  const std::uint64_t entries = directory + 16;
  if (!file.has(entries, std::uint64_t{named + ids} * 8)) return std::nullopt;
  if (!id) {
    if (named + ids == 0) return std::nullopt;
    return file.u32(entries + 4);
  }
  for (std::uint32_t i = named; i < named + ids; ++i) {
    const std::uint64_t entry = entries + std::uint64_t{i} * 8;
    if (file.u32(entry) == *id) return file.u32(entry + 4);
  }
  return std::nullopt;
}

std::optional<Bytes> root_block(ByteView bytes) {
  const Reader file(bytes);
  const auto image = read_headers(file);
  if (!image || image->resource_rva == 0) return std::nullopt;
  const auto base = file_offset(*image, image->resource_rva, 16);
  if (!base) return std::nullopt;

  constexpr std::uint32_t kSubdirectory = 0x80000000u;
  auto type = find_entry(file, *base, kRtVersion);
  if (!type || !(*type & kSubdirectory)) return std::nullopt;
  auto name = find_entry(file, *base + (*type & ~kSubdirectory), kVsVersionInfo);
  if (!name) name = find_entry(file, *base + (*type & ~kSubdirectory), std::nullopt);
  if (!name || !(*name & kSubdirectory)) return std::nullopt;
  const auto language = find_entry(file, *base + (*name & ~kSubdirectory), std::nullopt);
  if (!language || (*language & kSubdirectory)) return std::nullopt;

  const std::uint64_t data_entry = *base + *language;
  if (!file.has(data_entry, 16)) return std::nullopt;
  const std::uint32_t data_rva = file.u32(data_entry);
  const std::uint32_t data_size = file.u32(data_entry + 4);
  const auto data = file_offset(*image, data_rva, data_size);
  if (!data || data_size < 6 || !file.has(*data, data_size)) return std::nullopt;

  // VS_VERSIONINFO: wLength, wValueLength, wType, the key "VS_VERSION_INFO"
  // in UTF-16 with its terminator, padding to 32 bits, then the value.
  const Reader block(file.slice(*data, data_size));
  const std::uint16_t length = std::min<std::uint32_t>(block.u16(0), data_size);
  const std::uint16_t value_length = block.u16(2);
  constexpr std::uint64_t kValueAt = 40;  // 6 + 32 bytes of key, aligned to 4
  if (length < kValueAt) return Bytes{};
  static const char16_t kKey[] = u"VS_VERSION_INFO";
  for (std::size_t i = 0; i < 16; ++i) {
    if (block.u16(6 + 2 * i) != static_cast<std::uint16_t>(kKey[i])) return std::nullopt;
  }
  const std::uint64_t available = length - kValueAt;
  const auto value = block.slice(kValueAt, std::min<std::uint64_t>(value_length, available));
  return Bytes(value.begin(), value.end());
}

}  // namespace

std::optional<Bytes> version_root_block(const Path& path) {
  auto bytes = read_file(path);
  if (!bytes) return std::nullopt;
  return root_block(*bytes);
}

}  // namespace platform
