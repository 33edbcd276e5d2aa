// The JSON tables of the manifest's records: their type names in messages and
// their fields in declared order, which is also the order of the array form.
#pragma once

#include <array>
#include <string_view>

#include "update/json/json_codec.hpp"
#include "update/records/manifest.hpp"

namespace update::json {

template <>
struct Table<Artifact> {
  static constexpr std::string_view name = "Artifact";
  static constexpr std::array fields = {
      field<&Artifact::format>("format"),
      field<&Artifact::path>("path"),
      field<&Artifact::bytes>("bytes"),
      field<&Artifact::sha256>("sha256"),
  };
};

template <>
struct Table<Delta> {
  static constexpr std::string_view name = "Delta";
  static constexpr std::array fields = {
      field<&Delta::format>("format"),
      field<&Delta::from_version>("from_version"),
      field<&Delta::from_sha256>("from_sha256"),
      field<&Delta::path>("path"),
      field<&Delta::bytes>("bytes"),
      field<&Delta::sha256>("sha256"),
  };
};

template <>
struct Table<FileEntry> {
  static constexpr std::string_view name = "FileEntry";
  static constexpr std::array fields = {
      field<&FileEntry::path>("path"),
      field<&FileEntry::bytes>("bytes"),
      field<&FileEntry::sha256>("sha256"),
      field<&FileEntry::compressed>("compressed"),
      defaulted_field<&FileEntry::deltas>("deltas"),
  };
};

template <>
struct Table<ReleaseManifest> {
  static constexpr std::string_view name = "ReleaseManifest";
  static constexpr std::array fields = {
      field<&ReleaseManifest::product>("product"),
      field<&ReleaseManifest::channel>("channel"),
      field<&ReleaseManifest::version>("version"),
      field<&ReleaseManifest::build>("build"),
      field<&ReleaseManifest::issued_at_ms>("issued_at_ms"),
      field<&ReleaseManifest::minimum_version>("minimum_version"),
      field<&ReleaseManifest::key_id>("key_id"),
      field<&ReleaseManifest::files>("files"),
      field<&ReleaseManifest::notes_key>("notes_key"),
  };
};

}  // namespace update::json
