#pragma once
// The manifest that pack stores as the data of the file-list entry: one line
// per file, in archive order: size, SHA-256 (hexadecimal), stored name,
// separated by single spaces and ended by a line feed.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace setupkit {

struct ManifestLine {
  uint64_t size = 0;
  std::string sha256;      // 64 lower-case hexadecimal digits
  std::string storedName;  // the rest of the line
  bool operator==(const ManifestLine&) const = default;
};

// The manifest text of the lines.
std::string formatManifest(const std::vector<ManifestLine>& lines);

// The lines of a manifest text; empty when the text is not a manifest (any
// line out of form), which is how file lists of other writers are told apart.
std::optional<std::vector<ManifestLine>> parseManifest(const std::string& text);

}  // namespace setupkit
