// The rules a signed manifest must follow before anything acts on it. Each
// rule has its own reason text; the first rule broken decides.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "update/records/manifest.hpp"

namespace update {

// Why the manifest cannot be used, or none when it follows every rule.
std::optional<std::string> why_unusable(const ReleaseManifest& manifest);

// Why an artifact of the entry (its compressed copy, or a delta seen as an
// artifact) cannot be used, or none.
std::optional<std::string> check_artifact(const FileEntry& entry, const Artifact& artifact);

// True for a name of one file directly inside the install folder: 1 to 128
// bytes of ASCII letters, digits, "_", "-" and ".", not beginning with ".",
// holding no "..". Such a name can never climb out of the folder, name a
// drive or a stream, or be hidden.
bool is_plain_file_name(std::string_view name);

}  // namespace update
