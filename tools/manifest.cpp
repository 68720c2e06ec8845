#include "tools/manifest.h"

namespace setupkit {

std::string formatManifest(const std::vector<ManifestLine>& lines) {
  std::string text;
  for (const auto& line : lines) text += std::to_string(line.size) + " " + line.sha256 + " " + line.storedName + "\n";
  return text;
}

std::optional<std::vector<ManifestLine>> parseManifest(const std::string& text) {
  std::vector<ManifestLine> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) return std::nullopt;
    std::string line = text.substr(at, end - at);
    at = end + 1;

    size_t space = line.find(' ');
    if (space == 0 || space == std::string::npos || space > 20) return std::nullopt;
    ManifestLine entry;
    for (size_t i = 0; i < space; ++i) {
      if (line[i] < '0' || line[i] > '9') return std::nullopt;
      entry.size = entry.size * 10 + uint64_t(line[i] - '0');
    }
    if (line.size() < space + 1 + 64 + 2 || line[space + 1 + 64] != ' ') return std::nullopt;
    entry.sha256 = line.substr(space + 1, 64);
    if (entry.sha256.find_first_not_of("0123456789abcdef") != std::string::npos) return std::nullopt;
    entry.storedName = line.substr(space + 1 + 64 + 1);
    lines.push_back(std::move(entry));
  }
  if (lines.empty()) return std::nullopt;
  return lines;
}

}  // namespace setupkit
