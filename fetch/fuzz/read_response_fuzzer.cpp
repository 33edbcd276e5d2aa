// read_response reading whatever a server answers, over a plain loopback
// connection. Besides crashes, hangs and leaks it watches the progress
// reports and the body for what the client promises: done never above the
// total, never falling, the total fixed; a body exactly as long as the last
// report says.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>

#include "fetch/fuzz/loopback_pair.hpp"
#include "fetch/http/connection.hpp"
#include "fetch/http/response.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A little past the head limit, so that an endless head is reached too.
  if (size > 140'000) return -1;
  if (size == 0) return 0;
  // The first byte chooses the request: bit 0 a ranged or a whole-file
  // request, bit 1 whether it carried a body, bits 2 and 3 the progress call
  // that cancels (0: none does).
  const bool ranged = (data[0] & 1) != 0;
  const bool request_had_body = (data[0] & 2) != 0;
  const int cancel_at = (data[0] >> 2) & 3;
  std::optional<fetch::ByteRange> range;
  if (ranged) range = fetch::ByteRange{32768, 65535, 1000000};

  fuzz::StreamingPeer peer(data + 1, size - 1);
  fetch::HttpConnection connection{fetch::HttpConnection::Plain{std::move(peer.client)}};

  int calls = 0;
  std::uint64_t last_done = 0;
  std::uint64_t last_total = 0;
  const fetch::ProgressFn progress = [&](std::uint64_t done, std::uint64_t total) {
    if (done > total) std::abort();
    if (calls > 0 && (total != last_total || done < last_done)) std::abort();
    ++calls;
    last_done = done;
    last_total = total;
    return cancel_at == 0 || calls < cancel_at;
  };
  const auto answer = fetch::read_response(connection, "/fuzz/file", range, request_had_body, progress);
  if (answer) {
    if (const auto* body = answer->get<fetch::Response::Body>()) {
      if (calls == 0 || last_done != last_total || body->body.size() != last_total) std::abort();
    }
  }
  fetch::connection_close(connection);
  return 0;
}
