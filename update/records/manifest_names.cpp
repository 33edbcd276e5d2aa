#include "update/records/manifest_names.hpp"

namespace update {

namespace {

constexpr std::size_t kPathPart = 0;
constexpr std::size_t kArtifactPart = 1;
constexpr std::size_t kFirstDeltaPart = 2;

}  // namespace

std::string_view ManifestNames::iterator::operator*() const {
  const auto& entry = (*files_)[entry_];
  if (part_ == kPathPart) return entry.path;
  if (part_ == kArtifactPart) return entry.compressed->path;
  return entry.deltas[part_ - kFirstDeltaPart].path;
}

ManifestNames::iterator& ManifestNames::iterator::operator++() {
  ++part_;
  settle();
  return *this;
}

void ManifestNames::iterator::settle() {
  while (entry_ < files_->size()) {
    const auto& entry = (*files_)[entry_];
    if (part_ == kArtifactPart && !entry.compressed) ++part_;
    if (part_ == kPathPart || part_ == kArtifactPart || part_ - kFirstDeltaPart < entry.deltas.size()) return;
    ++entry_;
    part_ = kPathPart;
  }
}

ManifestNames::iterator ManifestNames::begin() const {
  iterator first(files_);
  first.settle();
  return first;
}

}  // namespace update
