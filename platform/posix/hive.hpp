// The per-user registry hive that stands in for HKEY_CURRENT_USER here.
//
// It lives in one folder of the user's profile: $MORVANE_HIVE_DIR when that
// is set (tests point it at a folder of their own), else ~/.morvane-hive. The
// folder holds the file "HKCU.hive" and the lock file "HKCU.lock". The `reg`
// stand-in reads and changes it; the platform layer reads it for values that
// the program asks the registry for directly.
//
// The file is UTF-8 text, one record per line (LF line ends):
//   morvane-hive 1                          the first line
//   K<TAB><key path>                        a key; its values follow it
//   V<TAB><name><TAB><type><TAB><data>      a value of the key above it
// Key paths are below HKEY_CURRENT_USER ("Software\Microsoft\..."); types are
// "REG_SZ" (data: the text) and "REG_DWORD" (data: the number in decimal). In
// every field "%" is written "%25", a tab "%09", a line feed "%0A" and a
// carriage return "%0D". Key paths and value names match without regard to
// ASCII letter case, as the registry's do; they keep the case they were made
// with. Every key's parents are keys of the file too. A change is written to
// a sibling file that is then renamed onto "HKCU.hive", under the lock.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <tl/expected.hpp>

namespace platform::hive {

inline constexpr std::string_view type_sz = "REG_SZ";
inline constexpr std::string_view type_dword = "REG_DWORD";

struct Value {
  std::string name;
  std::string type;  // type_sz or type_dword
  std::string data;  // the text, or the DWORD in decimal
};

struct Key {
  std::string path;
  std::vector<Value> values;
};

struct Hive {
  std::vector<Key> keys;
};

// The hive's folder: $MORVANE_HIVE_DIR, else ".morvane-hive" in $HOME (or in
// the home folder that the user database gives).
std::filesystem::path hive_dir();

// The path below HKEY_CURRENT_USER of a key written "HKCU\..." or
// "HKEY_CURRENT_USER\..." (the root in any letter case); nothing for another
// root, the root alone, or an empty component.
std::optional<std::string> below_current_user(std::string_view key);

// The hive in `dir`; a missing folder or file is an empty hive. The error is
// a sentence with the system's text.
tl::expected<Hive, std::string> load(const std::filesystem::path& dir);

// Loads the hive under the lock, lets `change` change it and writes it back
// when `change` answers true. The folder is made when missing.
tl::expected<void, std::string> update(const std::filesystem::path& dir, const std::function<bool(Hive&)>& change);

// The key, or nullptr.
const Key* find_key(const Hive& hive, std::string_view path);
Key* find_key(Hive& hive, std::string_view path);
// The value of the key, or nullptr.
const Value* find_value(const Key& key, std::string_view name);

// Makes the key and its parents when missing; answers the key.
Key& ensure_key(Hive& hive, std::string_view path);

// Sets the value, replacing one of the same name.
void set_value(Key& key, Value value);

// Removes the key and every key below it; false when there was no such key.
bool remove_key(Hive& hive, std::string_view path);

// The file's text for a hive, and the hive for a text (an error names the
// first line that is not a record).
std::string format_hive(const Hive& hive);
tl::expected<Hive, std::string> parse_hive(std::string_view text);

}  // namespace platform::hive
