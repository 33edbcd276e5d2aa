#include "update/stage/capped_file_writer.hpp"

#include <cstring>
#include <utility>

#include <fmt/format.h>

namespace update {

CappedFileWriter::CappedFileWriter(platform::File file, std::uint64_t limit)
    : file_(std::move(file)), limit_(limit) {}

CappedFileWriter::~CappedFileWriter() { close(); }

platform::IoResult<void> CappedFileWriter::write(platform::ByteView bytes) {
  if (!open_) return tl::unexpected(platform::IoError::custom(platform::ErrorKind::Other, "the output is closed"));
  if (bytes.size() > limit_ - written_) {
    return tl::unexpected(platform::IoError::custom(
        platform::ErrorKind::Other, fmt::format("the output passes the signed size of {} bytes", limit_)));
  }
  if (buffered_ + bytes.size() > buffer_.size()) {
    if (auto flushed = flush(); !flushed) return flushed;
  }
  if (bytes.size() >= buffer_.size()) {
    if (auto direct = file_.write_all(bytes); !direct) return direct;
  } else {
    std::memcpy(buffer_.data() + buffered_, bytes.data(), bytes.size());
    buffered_ += bytes.size();
  }
  written_ += bytes.size();
  return {};
}

platform::IoResult<void> CappedFileWriter::flush() {
  if (buffered_ == 0) return {};
  if (!open_) return tl::unexpected(platform::IoError::custom(platform::ErrorKind::Other, "the output is closed"));
  auto done = file_.write_all(platform::ByteView(buffer_.data(), buffered_));
  // What failed to go out is not offered again: the part file is thrown away
  // after any failure anyway.
  buffered_ = 0;
  return done;
}

platform::IoResult<void> CappedFileWriter::sync() {
  if (auto flushed = flush(); !flushed) return flushed;
  if (!open_) return tl::unexpected(platform::IoError::custom(platform::ErrorKind::Other, "the output is closed"));
  return file_.sync();
}

void CappedFileWriter::close() {
  if (!open_) return;
  (void)flush();
  open_ = false;
  file_.close();
}

}  // namespace update
