// Files and folders.
//
// Every operation answers with its result or an IoError whose text is the
// system's. A move always replaces an existing destination (MoveFileExW with
// MOVEFILE_REPLACE_EXISTING on Windows, rename(2) here). A move, a removal
// and a copy's bytes are on the disk when they answer, so that a power cut
// after one cannot undo it under what the program writes next.
//
// On Windows every path reaches the system in its long form ("\\?\C:\...",
// normalised first), so that no file call stops at MAX_PATH, and a move or
// removal that another program's handle stops for a moment (an antivirus
// scanner, an indexer) is made again for about a second before it fails with
// the system's error. Nothing here fails so on POSIX.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <tl/expected.hpp>

#include "platform/bytes.hpp"
#include "platform/io_error.hpp"
#include "platform/owned_handle.hpp"
#include "platform/path.hpp"

namespace platform {

template <class T>
using IoResult = tl::expected<T, IoError>;

struct Metadata {
  bool is_file = false;
  bool is_dir = false;
  std::uint64_t size = 0;
};

// Metadata of the path, following links.
IoResult<Metadata> metadata(const Path& path);

// True when the path's metadata can be read (a file or a folder); every
// failure counts as false.
bool exists(const Path& path);

// True when the path is a regular file (following links).
bool is_regular_file(const Path& path);

// True when both paths lead to one existing file (links followed): the
// same device and inode here, the same volume and file index on Windows.
// False when either cannot be read.
bool same_file(const Path& a, const Path& b);

// Creates the folder with every missing parent; an existing folder is fine.
// Here each folder made is on the disk as an entry of its parent when it
// answers (the parent is flushed); Windows flushes no folder, and a later
// write-through move into the folder is relied on to take it along.
IoResult<void> create_dirs(const Path& path);

// The whole content of a file.
IoResult<Bytes> read_file(const Path& path);

// A plain whole-file write: create or truncate, write everything, close.
// Nothing is flushed: a file that a later step relies on is written through
// File with sync(), then renamed into place.
IoResult<void> write_file(const Path& path, ByteView bytes);

// The system's rename that replaces an existing destination, on the disk
// when it answers: here the folder it moved into and the folder it left are
// flushed (fsync) after it; on Windows the move is made with
// MOVEFILE_WRITE_THROUGH. A failure of that flush is the rename's failure,
// though the file may have moved.
IoResult<void> rename_replace(const Path& from, const Path& to);

// True when a rename may replace a file that is open elsewhere, as here;
// false on Windows, where MoveFileExW onto a file that another handle holds
// fails (with access denied) whatever that handle shares.
bool renames_replace_open_files();

// Deletes a file (not a folder), on the disk when it answers: the folder
// that held it is flushed after it (fsync here; on Windows, where
// DeleteFileW has no write-through flag, FlushFileBuffers on the folder's
// handle opened for writing). A failure of that flush is the removal's
// failure, though the file is gone. A file system that has no flush for a
// folder keeps the removal as it does.
IoResult<void> remove_file(const Path& path);

// Removes a folder with everything in it, on the disk when it answers as
// remove_file is: the folder that held it is flushed once it is gone (the
// entries inside go with it). Nothing there is removed already, and nothing
// is flushed then.
IoResult<void> remove_dir_all(const Path& path);

// Removes a folder that is empty, and never anything in it: a folder that
// holds an entry stays, with the system's error. On the disk when it answers,
// as every removal is.
IoResult<void> remove_empty_dir(const Path& path);

// Makes a folder that nothing removes (the system folder on Windows, the
// root here) this process's working folder, so that the folder it was in can
// be removed: Windows removes no folder that a process works in.
IoResult<void> leave_working_dir();

// Removes what stands at the path: a folder (links followed) with everything
// in it, anything else as a file, on the disk when it answers. remove_dir_all
// takes a link to a folder away as the link itself, so the removal never
// reaches where a link leads.
IoResult<void> remove_entry(const Path& path);

// Copies a file onto the target, replacing it, with the copy's bytes on the
// disk when it answers (fsync here; FlushFileBuffers on the copy after
// CopyFileW on Windows); the target's name is not flushed into its folder,
// which a rename of the copy into place does. A copy that stops part-way (a
// full disk) fails with the system's own error and may leave the target cut
// short.
IoResult<void> copy_file_replace(const Path& from, const Path& to);

// Lets the file be started as a program. Where files carry a permission to
// run (POSIX), it is given to whoever may read the file; elsewhere every file
// may be started and nothing changes.
IoResult<void> mark_executable(const Path& path);

// The names of a folder's entries, "." and ".." left out, in the order that
// the system lists them. A failure part-way keeps the names read so far in
// `names` and reports the failure in `error`.
struct DirListing {
  std::vector<std::string> names;
  std::optional<IoError> error;
};
IoResult<DirListing> list_dir(const Path& path);

// An open file. The handle is closed when the object goes away.
class File {
 public:
  static IoResult<File> open_read(const Path& path);
  // Created when missing, truncated when it exists.
  static IoResult<File> create_truncate(const Path& path);
  // Created when missing, every write goes to its end.
  static IoResult<File> open_append(const Path& path);

  File(File&& other) noexcept = default;
  File& operator=(File&& other) noexcept = default;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File() = default;

  // The file's current length.
  IoResult<std::uint64_t> length() const;
  // Reads up to buffer.size() bytes; 0 at the end of the file.
  IoResult<std::size_t> read(std::span<std::uint8_t> buffer);
  // Writes every byte.
  IoResult<void> write_all(ByteView bytes);
  // Flushes the file's data to the disk (FlushFileBuffers, fsync here).
  IoResult<void> sync();
  // Closes now; later calls fail.
  void close() { handle_.reset(); }

 private:
  // A descriptor here, a HANDLE on Windows; -1 (INVALID_HANDLE_VALUE there)
  // when there is none.
  struct HandleTraits {
    using Value = std::intptr_t;
    static Value none() { return -1; }
    static bool is_open(Value value) { return value != -1; }
    static void close(Value value) noexcept;
  };

  explicit File(std::intptr_t handle) : handle_(handle) {}
  OwnedHandle<HandleTraits> handle_;
};

}  // namespace platform
