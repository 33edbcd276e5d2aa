#include "testkit/pe_imports.hpp"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace testkit {

namespace {

class Reader {
 public:
  explicit Reader(platform::ByteView file) : file_(file) {}

  std::optional<std::uint64_t> le(std::size_t at, std::size_t width) const {
    if (at > file_.size() || file_.size() - at < width) return std::nullopt;
    std::uint64_t value = 0;
    for (std::size_t i = width; i > 0; --i) value = value << 8 | file_[at + i - 1];
    return value;
  }

  // The NUL-terminated text at `at`, or none when it runs past the end.
  std::optional<std::string> text(std::size_t at) const {
    std::string out;
    for (std::size_t i = at; i < file_.size(); ++i) {
      if (file_[i] == 0) return out;
      out.push_back(static_cast<char>(file_[i]));
    }
    return std::nullopt;
  }

 private:
  platform::ByteView file_;
};

struct Section {
  std::uint32_t address, size, raw_offset, raw_size;
};

}  // namespace

tl::expected<std::vector<PeImport>, std::string> pe_imports(platform::ByteView file) {
  const Reader r(file);
  const auto fail = [](std::string why) { return tl::unexpected(std::move(why)); };
  if (r.le(0, 2) != 0x5A4D) return fail("no MZ header");
  const auto pe = r.le(0x3C, 4);
  if (!pe || r.le(*pe, 4) != 0x00004550) return fail("no PE signature");
  const std::size_t coff = *pe + 4;
  const auto sections = r.le(coff + 2, 2);
  const auto optional_size = r.le(coff + 16, 2);
  const std::size_t optional = coff + 20;
  const auto magic = r.le(optional, 2);
  if (!sections || !optional_size || !magic) return fail("a cut-off COFF header");
  const bool plus = *magic == 0x20B;
  if (!plus && *magic != 0x10B) return fail("an optional header of neither PE32 nor PE32+");
  const std::size_t directories = optional + (plus ? 112 : 96);
  const auto directory_count = r.le(optional + (plus ? 108 : 92), 4);
  if (!directory_count) return fail("a cut-off optional header");
  if (*directory_count < 2) return {};
  const auto import_rva = r.le(directories + 8, 4);
  if (!import_rva) return fail("a cut-off data directory");
  if (*import_rva == 0) return {};

  std::vector<Section> table;
  const std::size_t first_section = optional + *optional_size;
  for (std::size_t i = 0; i < *sections; ++i) {
    const std::size_t at = first_section + 40 * i;
    const auto size = r.le(at + 8, 4), address = r.le(at + 12, 4), raw_size = r.le(at + 16, 4),
               raw_offset = r.le(at + 20, 4);
    if (!size || !address || !raw_size || !raw_offset) return fail("a cut-off section table");
    table.push_back({static_cast<std::uint32_t>(*address), static_cast<std::uint32_t>(*size),
                     static_cast<std::uint32_t>(*raw_offset), static_cast<std::uint32_t>(*raw_size)});
  }
  const auto offset_of = [&](std::uint64_t rva) -> std::optional<std::size_t> {
    for (const Section& s : table) {
      if (rva >= s.address && rva < s.address + std::max(s.size, s.raw_size)) return s.raw_offset + (rva - s.address);
    }
    return std::nullopt;
  };

  std::vector<PeImport> imports;
  const auto descriptors = offset_of(*import_rva);
  if (!descriptors) return fail("an import directory outside every section");
  for (std::size_t at = *descriptors;; at += 20) {
    const auto lookup = r.le(at, 4), name = r.le(at + 12, 4), thunks = r.le(at + 16, 4);
    if (!lookup || !name || !thunks) return fail("an import directory past the end of the file");
    if (*lookup == 0 && *name == 0 && *thunks == 0) break;
    const auto name_at = offset_of(*name);
    const auto dll = name_at ? r.text(*name_at) : std::nullopt;
    if (!dll) return fail("an imported DLL's name outside the file");
    PeImport entry{*dll, {}};
    // The lookup table, or where a linker left none the address table, which
    // holds the same entries in the file.
    const auto entries = offset_of(*lookup != 0 ? *lookup : *thunks);
    if (!entries) return fail("the functions of " + *dll + " outside every section");
    const std::size_t width = plus ? 8 : 4;
    const std::uint64_t by_ordinal = std::uint64_t{1} << (8 * width - 1);
    for (std::size_t e = *entries;; e += width) {
      const auto value = r.le(e, width);
      if (!value) return fail("the functions of " + *dll + " past the end of the file");
      if (*value == 0) break;
      if (*value & by_ordinal) {
        entry.functions.push_back("#" + std::to_string(*value & 0xFFFF));
        continue;
      }
      const auto hint_at = offset_of(*value & 0x7FFFFFFF);
      const auto function = hint_at ? r.text(*hint_at + 2) : std::nullopt;
      if (!function) return fail("a function name of " + *dll + " outside the file");
      entry.functions.push_back(*function);
    }
    imports.push_back(std::move(entry));
  }
  return imports;
}

}  // namespace testkit
