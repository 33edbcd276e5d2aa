// Stands in for Windows' `reg` over the per-user hive (platform/posix/hive.hpp).
//
// It takes exactly the three forms that the program runs:
//   reg query <key> /v <name>
//   reg add <key> /v <name> /t REG_SZ|REG_DWORD /d <data> /f
//   reg delete <key> /f
// with the key written "HKCU\..." or "HKEY_CURRENT_USER\...", and answers as
// reg.exe does: a query prints an empty line, the key, the value line and an
// empty line, lines ending in CR LF, a REG_DWORD shown as 0x and lower-case
// hexadecimal digits; messages go to standard error after "reg: "; the exit
// code is 0 on success and 1 on any failure. Anything else is refused.
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>

#include "platform/posix/hive.hpp"

namespace {

namespace hive = platform::hive;

constexpr const char* usage =
    "Invalid syntax. This stand-in takes only: reg query <key> /v <name> | reg add <key> /v <name> /t "
    "REG_SZ|REG_DWORD /d <data> /f | reg delete <key> /f";

void write_out(FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

int fail(std::string_view message) {
  write_out(stderr, fmt::format("reg: {}\r\n", message));
  return 1;
}

int succeed() {
  write_out(stderr, "reg: The operation completed successfully\r\n");
  return 0;
}

// A REG_DWORD's data as reg takes it: decimal, or hexadecimal after "0x".
std::optional<std::uint32_t> parse_dword(std::string_view text) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  std::uint32_t number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number, base);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return number;
}

std::string shown_data(const hive::Value& value) {
  if (value.type == hive::type_dword) {
    const auto number = parse_dword(value.data);
    return fmt::format("0x{:x}", number.value_or(0));
  }
  return value.data;
}

int query(const std::string& key_path, const std::string& name) {
  auto loaded = hive::load(hive::hive_dir());
  if (!loaded) return fail(loaded.error());
  const hive::Key* key = hive::find_key(*loaded, key_path);
  if (key == nullptr) return fail("Unable to find the specified registry key");
  const hive::Value* value = hive::find_value(*key, name);
  if (value == nullptr) {
    write_out(stdout, "\r\n");
    return fail("Unable to find the specified registry value");
  }
  write_out(stdout, fmt::format("\r\nHKEY_CURRENT_USER\\{}\r\n    {}    {}    {}\r\n\r\n", key_path, value->name,
                                value->type, shown_data(*value)));
  return 0;
}

int add(const std::string& key_path, const std::string& name, const std::string& type, const std::string& data) {
  if (type != hive::type_sz && type != hive::type_dword) {
    return fail(fmt::format("Unsupported registry data type [{}]", type));
  }
  std::string stored = data;
  if (type == hive::type_dword) {
    const auto number = parse_dword(data);
    if (!number) return fail(fmt::format("Invalid data for REG_DWORD [{}]", data));
    stored = std::to_string(*number);
  }
  auto changed = hive::update(hive::hive_dir(), [&](hive::Hive& h) {
    hive::set_value(hive::ensure_key(h, key_path), hive::Value{name, type, stored});
    return true;
  });
  if (!changed) return fail(changed.error());
  return succeed();
}

int remove(const std::string& key_path) {
  bool found = false;
  auto changed = hive::update(hive::hive_dir(), [&](hive::Hive& h) {
    found = hive::remove_key(h, key_path);
    return found;
  });
  if (!changed) return fail(changed.error());
  if (!found) return fail("Unable to find the specified registry key");
  return succeed();
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const auto form = [&](std::initializer_list<const char*> fixed) {
    // Every non-null entry must be the argument at its place; a null one is
    // a place for a value.
    if (args.size() != fixed.size()) return false;
    std::size_t i = 0;
    for (const char* word : fixed) {
      if (word != nullptr && args[i] != word) return false;
      ++i;
    }
    return true;
  };
  const bool is_query = form({"query", nullptr, "/v", nullptr});
  const bool is_add = form({"add", nullptr, "/v", nullptr, "/t", nullptr, "/d", nullptr, "/f"});
  const bool is_delete = form({"delete", nullptr, "/f"});
  if (!is_query && !is_add && !is_delete) return fail(usage);

  const auto key_path = hive::below_current_user(args[1]);
  if (!key_path) return fail(fmt::format("Invalid key name [{}]", args[1]));
  if (is_query) return query(*key_path, args[3]);
  if (is_add) return add(*key_path, args[3], args[5], args[7]);
  return remove(*key_path);
}
