#include "update/stage/stage_progress.hpp"

namespace update {

fetch::ProgressFn forward_hash_progress(StageSink& sink) {
  return [&sink](std::uint64_t done, std::uint64_t total) {
    sink.send({StageEvent::BytesDone{done, total}});
    return !sink.cancelled();
  };
}

fetch::ProgressFn forward_download_progress(std::uint64_t expected, std::optional<std::uint64_t>& reported_total,
                                            StageSink& sink) {
  return [expected, &reported_total, &sink](std::uint64_t done, std::uint64_t total) {
    if (total != expected) {
      reported_total = total;
      return false;
    }
    sink.send({StageEvent::BytesDone{done, total}});
    return !sink.cancelled();
  };
}

}  // namespace update
