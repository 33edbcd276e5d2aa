// An installation of release 1.0.0 with release 2.0.0 staged for real (a
// channel published with the real xz tool and the delta maker, served by
// nginx, staged by stage_release and verified again from the staged copy),
// kept as a template so that each test, or each stop of a crash test,
// starts from a fresh copy of the same state.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "testkit/file_fault_interpose.hpp"
#include "update/check/verify_release.hpp"
#include "update/tests/stage_fixture.hpp"

namespace stagetest {

namespace faults = testkit::file_faults;

using Files = std::vector<std::pair<std::string, Bytes>>;

class StagedUpdate {
 public:
  // `installed` is in the install folder (release 1.0.0 and anything else);
  // `release` is release 2.0.0, in manifest order, published with deltas
  // from the installed files.
  StagedUpdate(Files installed, Files release);

  // A copy of the installation with the release staged.
  std::unique_ptr<Installation> fresh() const;
  // The release as the second verification gives it.
  const update::VerifiedRelease& release() const { return release_; }

  // The install folder without its updates folder: as it was, and as a
  // complete update leaves it (every replaced file's old copy at its .old
  // path, kept files untouched, files outside the release left alone).
  Tree old_product() const;
  Tree new_product() const;

 private:
  Installation template_;
  Files installed_;
  Files files_;
  update::VerifiedRelease release_;
};

// The install folder without its updates folder.
Tree product(const Installation& home);

// The text of one operation with the installation's root taken out.
std::string relative(const Installation& home, const faults::Operation& operation);

// A policy that makes the `nth` (from 0) operation whose relative text is
// `text` fail, once; every other operation proceeds.
faults::Policy fail_once(const Installation& home, std::string text, int nth = 0);

// The value of a text key in a pretty-printed record: `"key": "value"`;
// "<null>" for null, "<absent>" when the key is not there.
std::string json_text_field(const std::string& json, const std::string& key);

}  // namespace stagetest
