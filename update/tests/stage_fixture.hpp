// What the staging and apply tests share: file contents, an installation in
// a fresh folder, a sink that records every event, a published channel
// turned into the VerifiedRelease that staging takes, staged.log read back,
// and whole-folder snapshots.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/bytes.hpp"
#include "platform/path.hpp"
#include "testkit/release/release_host.hpp"
#include "testkit/release/release_publisher.hpp"
#include "testkit/temp_dir.hpp"
#include "update/check/verify_release.hpp"
#include "update/error.hpp"
#include "update/stage/stage_event.hpp"
#include "update/stage/stage_release.hpp"

namespace stagetest {

using platform::Bytes;
using platform::Path;

// `size` bytes that follow from the seed, the same on every call.
Bytes file_bytes(std::size_t size, std::uint32_t seed);
// The bytes with every `every`-th byte changed: a new version of a file.
Bytes changed(Bytes bytes, std::size_t every = 997);

// Writes the bytes, making the folders first; fails the test when it cannot.
void put(const Path& path, platform::ByteView bytes);
// The file's content as text; "<missing>" when it cannot be read.
std::string content(const Path& path);
// The names in a folder, sorted; empty when it cannot be listed.
std::vector<std::string> names_in(const Path& folder);
// Copies a folder with everything in it.
void copy_tree(const Path& from, const Path& to);

// Every file and folder below a root by relative path: a file as its size
// and SHA-256, a folder as "<folder>". `skip` names top-level entries left out.
using Tree = std::map<std::string, std::string>;
Tree snapshot(const Path& root, const std::vector<std::string>& skip = {});
std::string describe(const Tree& tree);
// How a snapshot shows a file with these bytes.
std::string file_entry(const std::string& bytes);

// An install folder (MORVANE, with its updates folder inside) in a fresh
// temporary folder.
class Installation {
 public:
  const Path& root() const { return temp_.path(); }
  Path install() const { return root() / "MORVANE"; }
  Path updates() const { return install() / "updates"; }
  Path pending(const std::string& version) const { return updates() / "pending" / version; }
  Path installed(const std::string& name) const { return install() / name; }

 private:
  testkit::TempDir temp_;
};

// The events of one staging and the cancel flag it reads. `on_event` runs
// after each event is recorded (to set the flag at a chosen point).
class Recorder {
 public:
  Recorder() : sink_{[this](update::StageEvent event) { record(std::move(event)); }, cancel} {}
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  update::StageSink& sink() { return sink_; }
  const std::vector<update::StageEvent>& events() const { return events_; }
  void clear() { events_.clear(); }

  // One line per event; a run of StageEvent::BytesDone with one total
  // becomes one line "progress of <total>".
  std::vector<std::string> lines() const;
  // True when every run of progress reports ends with done equal to total
  // and never goes back.
  bool progress_runs_complete() const;

  std::atomic<bool> cancel{false};
  std::function<void(const update::StageEvent&)> on_event;

 private:
  void record(update::StageEvent event);

  std::vector<update::StageEvent> events_;
  update::StageSink sink_;
};

// The channel's release as the release check hands it on, verified against
// the pinned test key.
update::VerifiedRelease verified(const testkit::PublishedRelease& published);
// Publishes and verifies; fails the test when either fails.
update::VerifiedRelease publish(const Path& root, const testkit::Release& release);

// The lines of updates/staged.log with their time field checked (decimal
// digits) and taken off: "<version> · <path> · <text>".
std::vector<std::string> staged_log(const Path& updates_dir);

// The request target below the channel: "/releases/morvane/stable-intl/<name>".
std::string request_path(const std::string& name);

// The requests that nginx has answered so far, each "GET <target> <status>":
// a last request is made and waited for, so that every earlier one is
// listed; it is left out.
std::vector<std::string> answered_requests(const testkit::ReleaseHost& host);

// The issue time of the releases the staging tests publish.
constexpr std::int64_t kIssued = 1'760'000'000'000;

// Release 2.0.0 of one file, morvane.exe, with a delta from its 1.0.0 bytes.
testkit::Release exe_update(const Bytes& old_exe, const Bytes& exe);

// "staged", or the sentence of the error that ended staging.
inline std::string error_text(const tl::expected<update::StagedRelease, update::UpdateError>& result) {
  return result ? std::string("staged") : update::display_update_error(result.error());
}

}  // namespace stagetest
