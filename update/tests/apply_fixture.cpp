#include "update/tests/apply_fixture.hpp"

#include <algorithm>
#include <map>

#include <gtest/gtest.h>

#include "platform/fs.hpp"
#include "update/stage/stage_release.hpp"

namespace stagetest {

StagedUpdate::StagedUpdate(Files installed, Files release) : installed_(std::move(installed)), files_(std::move(release)) {
  testkit::TempDir channel;
  testkit::Release published{.version = "2.0.0", .issued_at_ms = 1'760'000'000'000, .files = {}};
  testkit::EarlierRelease earlier{"1.0.0", {}};
  for (const auto& [name, bytes] : installed_) {
    put(template_.installed(name), bytes);
    earlier.files.push_back({.name = name, .bytes = bytes});
  }
  for (const auto& [name, bytes] : files_) published.files.push_back({.name = name, .bytes = bytes});
  published.earlier = {earlier};
  const auto first = publish(channel.path(), published);
  {
    testkit::ReleaseHost host(channel.path());
    Recorder recorder;
    const auto staged =
        update::stage_release(template_.updates(), host.url(), first, recorder.sink(), template_.install());
    EXPECT_TRUE(staged) << update::display_update_error(staged.error());
  }
  const Path pending = template_.pending("2.0.0");
  auto manifest = platform::read_file(pending / "release.json");
  auto signature = platform::read_file(pending / "release.json.sig");
  EXPECT_TRUE(manifest && signature);
  if (!manifest || !signature) return;
  auto again = update::verify_release(platform::display(pending / "release.json"), *manifest,
                                      platform::ByteView(*signature), testkit::kPublishedProduct,
                                      testkit::kPublishedChannel);
  EXPECT_TRUE(again) << update::display_update_error(again.error());
  if (again) release_ = std::move(*again);
}

std::unique_ptr<Installation> StagedUpdate::fresh() const {
  auto home = std::make_unique<Installation>();
  copy_tree(template_.install(), home->install());
  return home;
}

Tree StagedUpdate::old_product() const { return product(template_); }

Tree StagedUpdate::new_product() const {
  Tree tree = old_product();
  std::map<std::string, std::string> before;
  for (const auto& [name, bytes] : installed_) before[name] = platform::to_string(bytes);
  for (const auto& [name, bytes] : files_) {
    const std::string now = platform::to_string(bytes);
    const auto old = before.find(name);
    if (old != before.end() && old->second == now) continue;  // kept in place
    if (old != before.end()) tree[name + ".old"] = tree[name];
    tree[name] = file_entry(now);
  }
  return tree;
}

Tree product(const Installation& home) { return snapshot(home.install(), {"updates"}); }

namespace {

// The text with the root left out of every path and "/" as the separator,
// whichever separator the system writes.
std::string below(const Path& root, std::string text) {
  std::string prefix = platform::display(root) + "/";
  for (std::string* each : {&prefix, &text}) std::replace(each->begin(), each->end(), '\\', '/');
  for (auto at = text.find(prefix); at != std::string::npos; at = text.find(prefix)) text.erase(at, prefix.size());
  return text;
}

}  // namespace

std::string relative(const Installation& home, const faults::Operation& operation) {
  return below(home.install(), operation.text());
}

faults::Policy fail_once(const Installation& home, std::string text, int nth) {
  auto seen = std::make_shared<int>(0);
  const Path root = home.install();
  return [root, text = std::move(text), nth, seen](const faults::Operation& operation) {
    if (below(root, operation.text()) != text) return faults::Action::Proceed;
    return (*seen)++ == nth ? faults::Action::Fail : faults::Action::Proceed;
  };
}

std::string json_text_field(const std::string& json, const std::string& key) {
  const std::string opening = "\"" + key + "\": ";
  const std::size_t at = json.find(opening);
  if (at == std::string::npos) return "<absent>";
  const std::size_t start = at + opening.size();
  if (json.compare(start, 4, "null") == 0) return "<null>";
  if (start >= json.size() || json[start] != '"') return "<not text>";
  const std::size_t end = json.find('"', start + 1);
  return json.substr(start + 1, end - start - 1);
}

}  // namespace stagetest
