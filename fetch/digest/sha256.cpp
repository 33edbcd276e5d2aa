#include "fetch/digest/sha256.hpp"

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <memory>
#include <new>
#include <stdexcept>
#include <vector>

#include "platform/fs.hpp"

namespace fetch {

namespace {

constexpr std::size_t kPieceSize = 65536;

struct MdCtxDeleter {
  void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};

// One SHA-256 computation. A failure inside the library (it has nothing to
// fail on but memory) is an internal fault, thrown.
class Sha256 {
 public:
  Sha256() : ctx_(EVP_MD_CTX_new()) {
    if (!ctx_) throw std::bad_alloc();
    if (EVP_DigestInit_ex(ctx_.get(), EVP_sha256(), nullptr) != 1) {
      throw std::runtime_error("SHA-256 could not be started");
    }
  }

  void update(platform::ByteView bytes) {
    if (bytes.empty()) return;
    if (EVP_DigestUpdate(ctx_.get(), bytes.data(), bytes.size()) != 1) {
      throw std::runtime_error("SHA-256 could not take more input");
    }
  }

  std::string finish_hex() {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(ctx_.get(), digest.data(), &length) != 1) {
      throw std::runtime_error("SHA-256 could not be finished");
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * length);
    for (unsigned int i = 0; i < length; ++i) {
      hex.push_back(kDigits[digest[i] >> 4]);
      hex.push_back(kDigits[digest[i] & 0x0F]);
    }
    return hex;
  }

 private:
  std::unique_ptr<EVP_MD_CTX, MdCtxDeleter> ctx_;
};

}  // namespace

tl::expected<std::string, FetchError> sha256_file_hex(const platform::Path& path,
                                                      const ProgressFn& progress) {
  auto file = platform::File::open_read(path);
  if (!file) return tl::unexpected(fetch_io_error(path, file.error()));

  // A length that cannot be learned counts as 0: the total then follows done.
  const std::uint64_t length = file->length().value_or(0);

  Sha256 digest;
  std::uint64_t done = 0;
  std::vector<std::uint8_t> buffer(kPieceSize);
  for (;;) {
    auto got = file->read(buffer);
    if (!got) return tl::unexpected(fetch_io_error(path, got.error()));
    if (*got == 0) break;
    digest.update(platform::ByteView(buffer.data(), *got));
    done += *got;
    if (!progress(done, std::max(length, done))) {
      return tl::unexpected(FetchError{FetchError::Cancelled{}});
    }
  }
  return digest.finish_hex();
}

std::string sha256_hex(platform::ByteView bytes) {
  Sha256 digest;
  digest.update(bytes);
  return digest.finish_hex();
}

}  // namespace fetch
