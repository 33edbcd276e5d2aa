// A buffered writer over an open file that takes no more than a fixed number
// of bytes: the xz rung decodes an artifact through it, so a stream that
// decodes to more than the signed size stops at the first write that would
// pass it, and the decoded file is never held in memory.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/bytes.hpp"
#include "platform/fs.hpp"

namespace update {

inline constexpr std::size_t capped_writer_buffer_size = 8192;

class CappedFileWriter {
 public:
  CappedFileWriter(platform::File file, std::uint64_t limit);
  // Closes (see close()).
  ~CappedFileWriter();
  CappedFileWriter(const CappedFileWriter&) = delete;
  CappedFileWriter& operator=(const CappedFileWriter&) = delete;

  // Takes all the bytes, or none of them when `written` + their number would
  // pass the limit: the error is then "the output passes the signed size of
  // <limit> bytes". A failure of the file itself is its own error.
  platform::IoResult<void> write(platform::ByteView bytes);
  // Writes out what is buffered.
  platform::IoResult<void> flush();
  // Writes out what is buffered and puts the file's bytes on the disk.
  platform::IoResult<void> sync();
  // Flushes what is still buffered (ignoring a failure) and closes the file.
  // Later calls do nothing; writes after it fail.
  void close();

  std::uint64_t written() const { return written_; }
  std::uint64_t limit() const { return limit_; }

 private:
  platform::File file_;
  bool open_ = true;
  std::array<std::uint8_t, capped_writer_buffer_size> buffer_{};
  std::size_t buffered_ = 0;
  std::uint64_t written_ = 0;
  std::uint64_t limit_ = 0;
};

}  // namespace update
