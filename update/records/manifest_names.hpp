// Every file name that a manifest lists, for the rule against a name listed
// twice.
#pragma once

#include <cstddef>
#include <iterator>
#include <string_view>
#include <vector>

#include "update/records/manifest.hpp"

namespace update {

// The names in order: for each entry in list order its path, then its
// compressed artifact's path when it has one, then the path of each of its
// deltas. The names are borrowed from the list, which must outlive the walk.
class ManifestNames {
 public:
  class iterator {
   public:
    using value_type = std::string_view;
    using difference_type = std::ptrdiff_t;
    using iterator_concept = std::forward_iterator_tag;
    using iterator_category = std::input_iterator_tag;

    iterator() = default;
    std::string_view operator*() const;
    iterator& operator++();
    iterator operator++(int) {
      auto before = *this;
      ++*this;
      return before;
    }
    bool operator==(const iterator&) const = default;
    bool operator==(std::default_sentinel_t) const { return files_ == nullptr || entry_ == files_->size(); }

   private:
    friend class ManifestNames;
    explicit iterator(const std::vector<FileEntry>* files) : files_(files) {}
    // Moves on from a place that names nothing (an absent artifact, the end
    // of an entry's deltas) to the next place that does.
    void settle();

    const std::vector<FileEntry>* files_ = nullptr;
    std::size_t entry_ = 0;
    // Within the entry: 0 its path, 1 its artifact, 2 + k its delta k.
    std::size_t part_ = 0;
  };

  explicit ManifestNames(const std::vector<FileEntry>& files) : files_(&files) {}
  iterator begin() const;
  std::default_sentinel_t end() const { return {}; }

 private:
  const std::vector<FileEntry>* files_;
};

inline ManifestNames next_manifest_name(const std::vector<FileEntry>& files) { return ManifestNames(files); }

}  // namespace update
