// Files and folders through the system's wide calls. Every open shares
// reading, writing and deleting with other handles, so that an open file
// never keeps another program (or this one) from replacing it by a rename
// where the system allows that at all. Every path reaches the system in the
// long form (long_path.hpp), so that none stops at MAX_PATH; a move is
// written through to the disk before it answers, a removal by a flush of
// its folder, a copy by a flush of the copy; and an open, a move or a
// removal that another program's handle stops for a moment is made again
// (held_retry.hpp).
#include "platform/fs.hpp"

#include <algorithm>
#include <limits>

#include "platform/win/held_retry.hpp"
#include "platform/win/long_path.hpp"
#include "platform/win/system_folder.hpp"
#include "platform/win/wide.hpp"

namespace platform {

namespace {

using win::Handle;
using win::last_error;
using win::long_path;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE to_handle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// A handle for a File: INVALID_HANDLE_VALUE, which is also File's "closed",
// when the open failed. Sharing everything here does not keep another
// program from opening the file for a moment without sharing (a scanner, an
// indexer), so an open that such a handle stops is made again, as a move is.
IoResult<std::intptr_t> open_handle(const Path& path, DWORD access, DWORD disposition) {
  const std::wstring name = long_path(path);
  HANDLE handle = INVALID_HANDLE_VALUE;
  const BOOL opened = win::retry_while_held(
      [&] {
        handle = ::CreateFileW(name.c_str(), access, kShareAll, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
        return handle != INVALID_HANDLE_VALUE ? TRUE : FALSE;
      },
      win::held_by_another);
  if (!opened) return last_error();
  return reinterpret_cast<std::intptr_t>(handle);
}

// A handle on the path itself, files and folders alike, links followed; for
// reading what the system knows of it.
Handle open_for_information(const Path& path) {
  return Handle(::CreateFileW(long_path(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

IoResult<BY_HANDLE_FILE_INFORMATION> information(const Path& path) {
  Handle handle = open_for_information(path);
  if (!handle) return last_error();
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(handle.get(), &info)) return last_error();
  return info;
}

bool is_directory(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
bool is_link(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

// The pattern that finds every entry of a folder.
std::wstring every_entry_of(const Path& folder) {
  std::wstring pattern = long_path(folder);
  if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
  return pattern + L'*';
}

// A removal stopped by another program's handle is made again.
BOOL delete_file(const Path& path) {
  const std::wstring name = long_path(path);
  return win::retry_while_held([&] { return ::DeleteFileW(name.c_str()); }, win::held_by_another);
}

BOOL remove_directory(const Path& path) {
  const std::wstring name = long_path(path);
  return win::retry_while_held([&] { return ::RemoveDirectoryW(name.c_str()); }, win::held_by_another);
}

// Whether a denied rename onto `to` may be a handle that holds the file
// there: replacing a file that is open elsewhere is denied whatever that
// handle shares. A denial onto nothing, a folder or a read-only file is the
// folder's or the file's own, which no waiting mends.
bool may_be_held_destination(DWORD code, const std::wstring& to) {
  if (win::held_by_another(code)) return true;
  if (code != ERROR_ACCESS_DENIED) return false;
  const DWORD attributes = ::GetFileAttributesW(to.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0;
}

// A search's handle, closed with FindClose.
struct SearchTraits {
  using Value = HANDLE;
  static Value none() { return INVALID_HANDLE_VALUE; }
  static bool is_open(Value handle) { return handle != INVALID_HANDLE_VALUE; }
  static void close(Value handle) noexcept { ::FindClose(handle); }
};

// FindFirstFileW and FindNextFileW over a folder's entries.
class Finder {
 public:
  explicit Finder(const Path& folder) {
    handle_ = OwnedHandle<SearchTraits>(::FindFirstFileW(every_entry_of(folder).c_str(), &data_));
    error_ = handle_ ? ERROR_SUCCESS : ::GetLastError();
  }
  Finder(const Finder&) = delete;
  Finder& operator=(const Finder&) = delete;

  // The error of the opening search: ERROR_SUCCESS, or the code. A folder
  // without even "." (a drive's root can be one) is empty, not missing.
  DWORD open_error() const { return error_; }

  // The next entry but "." and ".."; nothing at the end, with the error of
  // the search in `error` when it was not the end.
  const WIN32_FIND_DATAW* next(DWORD& error) {
    error = ERROR_SUCCESS;
    for (;;) {
      if (!handle_) return nullptr;
      if (!first_) {
        if (!::FindNextFileW(handle_.get(), &data_)) {
          const DWORD code = ::GetLastError();
          if (code != ERROR_NO_MORE_FILES) error = code;
          return nullptr;
        }
      }
      first_ = false;
      const std::wstring_view name = data_.cFileName;
      if (name != L"." && name != L"..") return &data_;
    }
  }

 private:
  OwnedHandle<SearchTraits> handle_;
  WIN32_FIND_DATAW data_{};
  DWORD error_ = ERROR_SUCCESS;
  bool first_ = true;
};

// The folder that holds what the path names, taken as the system takes it
// (normalised first, as long_path does: "a\b\." names b, held by a); the
// working folder for a bare name.
Path holder_of(const Path& path) {
  const Path named = path.lexically_normal();
  const Path parent = (named.has_filename() ? named : named.parent_path()).parent_path();
  return parent.empty() ? Path(".") : parent;
}

// Whether a flush failed only because the file system has no flush for a
// folder (FAT, some network file systems): their entries are then as
// durable as they make them, which is all there is.
bool flush_unsupported(DWORD code) {
  return code == ERROR_INVALID_FUNCTION || code == ERROR_NOT_SUPPORTED || code == ERROR_INVALID_PARAMETER;
}

// A handle for flushing a file or a folder: FlushFileBuffers needs write
// access. A scanner that holds the file for a moment without sharing is
// waited for, as a removal waits for it.
Handle open_for_flush(const std::wstring& name) {
  HANDLE opened = INVALID_HANDLE_VALUE;
  win::retry_while_held(
      [&] {
        opened = ::CreateFileW(name.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        return opened != INVALID_HANDLE_VALUE ? TRUE : FALSE;
      },
      win::held_by_another);
  return Handle(opened);
}

// Puts a folder's entries on the disk. DeleteFileW and RemoveDirectoryW have
// no write-through flag, so a removal stays in the cache until the folder's
// own handle, opened for writing, is flushed.
IoResult<void> flush_folder(const Path& folder) {
  Handle handle = open_for_flush(long_path(folder));
  if (!handle) return last_error();
  if (!::FlushFileBuffers(handle.get()) && !flush_unsupported(::GetLastError())) return last_error();
  return {};
}

// Flushes a file that is there by name: the copy that CopyFileW made. A
// read-only copy (of a read-only source) cannot be opened for writing, so
// the attribute is lifted for the flush and put back after it.
IoResult<void> flush_file(const Path& path) {
  const std::wstring name = long_path(path);
  const DWORD attributes = ::GetFileAttributesW(name.c_str());
  const bool read_only = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  if (read_only && !::SetFileAttributesW(name.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY})) {
    return last_error();
  }
  IoResult<void> flushed;
  {
    Handle handle = open_for_flush(name);
    if (!handle || !::FlushFileBuffers(handle.get())) flushed = last_error();
  }
  if (read_only && !::SetFileAttributesW(name.c_str(), attributes) && flushed) return last_error();
  return flushed;
}

IoResult<void> remove_tree(const Path& folder) {
  {
    Finder finder(folder);
    if (finder.open_error() != ERROR_SUCCESS && finder.open_error() != ERROR_FILE_NOT_FOUND) {
      return tl::unexpected(IoError::from_os(static_cast<int>(finder.open_error())));
    }
    DWORD error = ERROR_SUCCESS;
    while (const WIN32_FIND_DATAW* entry = finder.next(error)) {
      const Path path = folder / entry->cFileName;
      const DWORD attributes = entry->dwFileAttributes;
      // A link to a folder goes as the link itself, never into where it leads.
      if (is_directory(attributes) && !is_link(attributes)) {
        if (auto removed = remove_tree(path); !removed) return removed;
      } else if (is_directory(attributes)) {
        if (!remove_directory(path)) return last_error();
      } else if (!delete_file(path)) {
        return last_error();
      }
    }
    if (error != ERROR_SUCCESS) return tl::unexpected(IoError::from_os(static_cast<int>(error)));
  }
  if (!remove_directory(folder)) return last_error();
  return {};
}

}  // namespace

IoResult<Metadata> metadata(const Path& path) {
  auto info = information(path);
  if (!info) return tl::unexpected(info.error());
  Metadata meta;
  meta.is_dir = is_directory(info->dwFileAttributes);
  meta.is_file = !meta.is_dir && (info->dwFileAttributes & FILE_ATTRIBUTE_DEVICE) == 0;
  meta.size = meta.is_dir ? 0 : (std::uint64_t{info->nFileSizeHigh} << 32) | info->nFileSizeLow;
  return meta;
}

bool same_file(const Path& a, const Path& b) {
  auto first = information(a);
  auto second = information(b);
  return first && second && first->dwVolumeSerialNumber == second->dwVolumeSerialNumber &&
         first->nFileIndexHigh == second->nFileIndexHigh && first->nFileIndexLow == second->nFileIndexLow;
}

IoResult<void> create_dirs(const Path& path) {
  if (path.empty()) return {};
  if (auto meta = metadata(path); meta && meta->is_dir) return {};
  const Path parent = path.parent_path();
  if (!parent.empty() && parent != path) {
    if (auto made = create_dirs(parent); !made) return made;
  }
  if (::CreateDirectoryW(long_path(path).c_str(), nullptr)) return {};
  const DWORD code = ::GetLastError();
  // Made meanwhile by someone else is as good as made here.
  if (code == ERROR_ALREADY_EXISTS) {
    if (auto meta = metadata(path); meta && meta->is_dir) return {};
  }
  return tl::unexpected(IoError::from_os(static_cast<int>(code)));
}

IoResult<void> rename_replace(const Path& from, const Path& to) {
  const std::wstring source = long_path(from);
  const std::wstring target = long_path(to);
  const BOOL moved = win::retry_while_held(
      [&] { return ::MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH); },
      [&](DWORD code) { return may_be_held_destination(code, target); });
  if (!moved) return last_error();
  return {};
}

bool renames_replace_open_files() { return false; }

IoResult<void> remove_file(const Path& path) {
  if (!delete_file(path)) return last_error();
  // On the disk before it answers, like a move.
  return flush_folder(holder_of(path));
}

IoResult<void> remove_dir_all(const Path& path) {
  const DWORD attributes = ::GetFileAttributesW(long_path(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    // Nothing there is nothing to remove, as on every system.
    const DWORD code = ::GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return {};
    return tl::unexpected(IoError::from_os(static_cast<int>(code)));
  }
  if (!is_directory(attributes)) return tl::unexpected(IoError::from_os(ERROR_DIRECTORY));
  if (is_link(attributes)) {
    if (!remove_directory(path)) return last_error();
  } else if (auto removed = remove_tree(path); !removed) {
    return removed;
  }
  // Gone for good once the folder that held it is flushed: the entries
  // inside went with it.
  return flush_folder(holder_of(path));
}

IoResult<void> remove_empty_dir(const Path& path) {
  if (!remove_directory(path)) return last_error();
  return flush_folder(holder_of(path));
}

IoResult<void> leave_working_dir() {
  if (!::SetCurrentDirectoryW(win::system_folder().c_str())) return last_error();
  return {};
}

IoResult<void> copy_file_replace(const Path& from, const Path& to) {
  if (!::CopyFileW(long_path(from).c_str(), long_path(to).c_str(), FALSE)) return last_error();
  // CopyFileW leaves the bytes in the cache; they are on the disk before it
  // answers, so that a rename after it never names a file that a power cut
  // leaves empty.
  return flush_file(to);
}

// Every file may be started on Windows; only a path that leads nowhere fails.
IoResult<void> mark_executable(const Path& path) {
  if (auto meta = metadata(path); !meta) return tl::unexpected(meta.error());
  return {};
}

IoResult<DirListing> list_dir(const Path& path) {
  Finder finder(path);
  if (finder.open_error() != ERROR_SUCCESS) {
    const bool empty_folder =
        finder.open_error() == ERROR_FILE_NOT_FOUND && is_directory(::GetFileAttributesW(long_path(path).c_str()));
    if (!empty_folder) return tl::unexpected(IoError::from_os(static_cast<int>(finder.open_error())));
    return DirListing{};
  }
  DirListing listing;
  DWORD error = ERROR_SUCCESS;
  while (const WIN32_FIND_DATAW* entry = finder.next(error)) listing.names.push_back(win::narrow(entry->cFileName));
  if (error != ERROR_SUCCESS) listing.error = IoError::from_os(static_cast<int>(error));
  return listing;
}

IoResult<File> File::open_read(const Path& path) {
  auto handle = open_handle(path, GENERIC_READ, OPEN_EXISTING);
  if (!handle) return tl::unexpected(handle.error());
  return File(*handle);
}

IoResult<File> File::create_truncate(const Path& path) {
  auto handle = open_handle(path, GENERIC_WRITE, CREATE_ALWAYS);
  if (!handle) return tl::unexpected(handle.error());
  return File(*handle);
}

IoResult<File> File::open_append(const Path& path) {
  // With FILE_APPEND_DATA and no FILE_WRITE_DATA every write goes to the end.
  auto handle = open_handle(path, FILE_APPEND_DATA | SYNCHRONIZE, OPEN_ALWAYS);
  if (!handle) return tl::unexpected(handle.error());
  return File(*handle);
}

void File::HandleTraits::close(Value value) noexcept { ::CloseHandle(to_handle(value)); }

IoResult<std::uint64_t> File::length() const {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(to_handle(handle_.get()), &size)) return last_error();
  return static_cast<std::uint64_t>(size.QuadPart);
}

IoResult<std::size_t> File::read(std::span<std::uint8_t> buffer) {
  const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), std::numeric_limits<DWORD>::max()));
  DWORD got = 0;
  if (!::ReadFile(to_handle(handle_.get()), buffer.data(), wanted, &got, nullptr)) {
    if (::GetLastError() == ERROR_HANDLE_EOF || ::GetLastError() == ERROR_BROKEN_PIPE) return 0;
    return last_error();
  }
  return got;
}

IoResult<void> File::write_all(ByteView bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
    DWORD put = 0;
    if (!::WriteFile(to_handle(handle_.get()), bytes.data() + done, chunk, &put, nullptr)) return last_error();
    if (put == 0) return tl::unexpected(IoError::write_zero());
    done += put;
  }
  return {};
}

IoResult<void> File::sync() {
  if (!::FlushFileBuffers(to_handle(handle_.get()))) return last_error();
  return {};
}

}  // namespace platform
