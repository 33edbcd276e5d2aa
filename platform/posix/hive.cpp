#include "platform/posix/hive.hpp"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include <fmt/format.h>

#include "morvane/config.hpp"
#include "platform/io_error.hpp"
#include "platform/posix/descriptor.hpp"
#include "platform/text.hpp"

namespace platform::hive {

namespace {

// "morvane-hive 1": the first line of a hive file.
std::string hive_header() { return fmt::format("{}-hive 1", config::product_lower); }

constexpr const char* file_name = "HKCU.hive";
constexpr const char* part_name = "HKCU.hive.part";
constexpr const char* lock_name = "HKCU.lock";

bool same_name(std::string_view a, std::string_view b) { return equals_ignoring_ascii_case(a, b); }

// True when `path` is `parent` itself or a key below it.
bool at_or_below(std::string_view path, std::string_view parent) {
  if (path.size() < parent.size() || !same_name(path.substr(0, parent.size()), parent)) return false;
  return path.size() == parent.size() || path[parent.size()] == '\\';
}

std::string escape(std::string_view field) {
  std::string out;
  for (char c : field) {
    switch (c) {
      case '%': out += "%25"; break;
      case '\t': out += "%09"; break;
      case '\n': out += "%0A"; break;
      case '\r': out += "%0D"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

std::optional<std::string> unescape(std::string_view field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '%') {
      out.push_back(field[i]);
      continue;
    }
    const std::string_view code = field.substr(i + 1, 2);
    if (code == "25") {
      out.push_back('%');
    } else if (code == "09") {
      out.push_back('\t');
    } else if (code == "0A") {
      out.push_back('\n');
    } else if (code == "0D") {
      out.push_back('\r');
    } else {
      return std::nullopt;
    }
    i += 2;
  }
  return out;
}

std::vector<std::string_view> split_tabs(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
    if (tab == std::string_view::npos) return fields;
    start = tab + 1;
  }
}

std::string system_text(int code) { return os_error_text(code); }

// An exclusive flock on the hive's lock file, let go when it goes away.
class HiveLock {
 public:
  explicit HiveLock(const std::filesystem::path& dir) {
    fd_ = posix::Descriptor(::open((dir / lock_name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!fd_) {
      error_ = errno;
      return;
    }
    while (::flock(fd_.get(), LOCK_EX) != 0) {
      if (errno != EINTR) {
        error_ = errno;
        return;
      }
    }
  }
  int error() const { return error_; }

 private:
  posix::Descriptor fd_;
  int error_ = 0;
};

tl::expected<void, std::string> write_whole(const std::filesystem::path& path, const std::string& text) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return tl::unexpected(system_text(errno));
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
    if (wrote < 0) {
      if (errno == EINTR) continue;
      const int code = errno;
      ::close(fd);
      return tl::unexpected(system_text(code));
    }
    done += static_cast<std::size_t>(wrote);
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0) return tl::unexpected(system_text(errno));
  return {};
}

}  // namespace

std::filesystem::path hive_dir() {
  if (const char* dir = std::getenv("MORVANE_HIVE_DIR"); dir != nullptr && *dir != '\0') return dir;
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') {
    const passwd* entry = ::getpwuid(::getuid());
    home = entry != nullptr ? entry->pw_dir : "/";
  }
  return std::filesystem::path(home) / fmt::format(".{}-hive", config::product_lower);
}

std::optional<std::string> below_current_user(std::string_view key) {
  const std::size_t slash = key.find('\\');
  if (slash == std::string_view::npos) return std::nullopt;
  const std::string_view root = key.substr(0, slash);
  if (!same_name(root, "HKCU") && !same_name(root, "HKEY_CURRENT_USER")) return std::nullopt;
  const std::string_view path = key.substr(slash + 1);
  if (path.empty() || path.front() == '\\' || path.back() == '\\' || path.find("\\\\") != std::string_view::npos) {
    return std::nullopt;
  }
  return std::string(path);
}

std::string format_hive(const Hive& hive) {
  std::string text = hive_header();
  text += '\n';
  for (const Key& key : hive.keys) {
    text += fmt::format("K\t{}\n", escape(key.path));
    for (const Value& value : key.values) {
      text += fmt::format("V\t{}\t{}\t{}\n", escape(value.name), escape(value.type), escape(value.data));
    }
  }
  return text;
}

tl::expected<Hive, std::string> parse_hive(std::string_view text) {
  Hive hive;
  std::size_t start = 0;
  std::size_t number = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    const std::string_view line = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    start = end == std::string_view::npos ? text.size() : end + 1;
    ++number;
    const auto damaged = [&] { return tl::unexpected(fmt::format("line {} of the hive file is no record", number)); };
    if (number == 1) {
      if (line != hive_header()) return damaged();
      continue;
    }
    const auto fields = split_tabs(line);
    if (fields[0] == "K" && fields.size() == 2) {
      auto path = unescape(fields[1]);
      if (!path) return damaged();
      hive.keys.push_back(Key{std::move(*path), {}});
    } else if (fields[0] == "V" && fields.size() == 4 && !hive.keys.empty()) {
      auto name = unescape(fields[1]);
      auto type = unescape(fields[2]);
      auto data = unescape(fields[3]);
      if (!name || !type || !data) return damaged();
      hive.keys.back().values.push_back(Value{std::move(*name), std::move(*type), std::move(*data)});
    } else {
      return damaged();
    }
  }
  if (number == 0) return tl::unexpected(std::string("the hive file is empty"));
  return hive;
}

tl::expected<Hive, std::string> load(const std::filesystem::path& dir) {
  const std::filesystem::path path = dir / file_name;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return Hive{};
    return tl::unexpected(fmt::format("the hive {} cannot be read: {}", path.string(), system_text(errno)));
  }
  std::string text;
  char buffer[8192];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const int code = errno;
      ::close(fd);
      return tl::unexpected(fmt::format("the hive {} cannot be read: {}", path.string(), system_text(code)));
    }
    if (got == 0) break;
    text.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(fd);
  auto hive = parse_hive(text);
  if (!hive) return tl::unexpected(fmt::format("the hive {} is damaged: {}", path.string(), hive.error()));
  return hive;
}

tl::expected<void, std::string> update(const std::filesystem::path& dir, const std::function<bool(Hive&)>& change) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) return tl::unexpected(fmt::format("the hive folder {} cannot be made: {}", dir.string(), system_text(ec.value())));
  HiveLock lock(dir);
  if (lock.error() != 0) {
    return tl::unexpected(fmt::format("the hive folder {} cannot be locked: {}", dir.string(), system_text(lock.error())));
  }
  auto hive = load(dir);
  if (!hive) return tl::unexpected(hive.error());
  if (!change(*hive)) return {};
  const auto part = dir / part_name;
  const auto target = dir / file_name;
  if (auto wrote = write_whole(part, format_hive(*hive)); !wrote) {
    return tl::unexpected(fmt::format("the hive {} cannot be written: {}", target.string(), wrote.error()));
  }
  if (::rename(part.c_str(), target.c_str()) != 0) {
    return tl::unexpected(fmt::format("the hive {} cannot be written: {}", target.string(), system_text(errno)));
  }
  return {};
}

const Key* find_key(const Hive& hive, std::string_view path) {
  for (const Key& key : hive.keys) {
    if (same_name(key.path, path)) return &key;
  }
  return nullptr;
}

Key* find_key(Hive& hive, std::string_view path) {
  return const_cast<Key*>(find_key(static_cast<const Hive&>(hive), path));
}

const Value* find_value(const Key& key, std::string_view name) {
  for (const Value& value : key.values) {
    if (same_name(value.name, name)) return &value;
  }
  return nullptr;
}

Key& ensure_key(Hive& hive, std::string_view path) {
  // Parents first, so that the file lists every key after the one above it.
  for (std::size_t slash = path.find('\\'); slash != std::string_view::npos; slash = path.find('\\', slash + 1)) {
    const std::string_view parent = path.substr(0, slash);
    if (find_key(hive, parent) == nullptr) hive.keys.push_back(Key{std::string(parent), {}});
  }
  if (Key* key = find_key(hive, path)) return *key;
  hive.keys.push_back(Key{std::string(path), {}});
  return hive.keys.back();
}

void set_value(Key& key, Value value) {
  for (Value& existing : key.values) {
    if (same_name(existing.name, value.name)) {
      existing.type = std::move(value.type);
      existing.data = std::move(value.data);
      return;
    }
  }
  key.values.push_back(std::move(value));
}

bool remove_key(Hive& hive, std::string_view path) {
  if (find_key(hive, path) == nullptr) return false;
  std::erase_if(hive.keys, [&](const Key& key) { return at_or_below(key.path, path); });
  return true;
}

}  // namespace platform::hive
