#pragma once
// The files that pack stores: gathered from the SOURCE arguments, each with
// the drive-letter name it is stored under, its size and its date.
#include <cstdint>
#include <string>
#include <vector>

namespace setupkit {

struct SourceFile {
  std::string hostPath;    // where to read it
  std::string storedName;  // "C:\" followed by the path relative to its SOURCE
  uint64_t size = 0;
  uint32_t fileDate = 0;  // last-write time as a local DOS date-time
  unsigned mode = 0644;   // the host file's permission bits
};

struct SourceLink {
  std::string hostPath;
  std::string storedName;
  std::string target;  // relative, "/" between names, no "." or empty name
};

// How links in the sources are taken.
struct ScanRules {
  // A link that is absolute or leaves its tree is stored as a copy of the
  // file it points to; otherwise such a link is refused.
  bool copyOutsideLinks = false;
};

struct SourceScan {
  std::vector<SourceFile> files;         // in archive order
  std::vector<SourceLink> links;         // links that stay in their tree, sorted
  std::vector<std::string> folders;      // stored names of empty directories
  std::vector<std::string> flatClashes;  // "A and B" for names a flat restore maps to one file
  uint64_t totalSize = 0;                // sum of the file sizes
  std::vector<std::string> warnings;     // things the archive cannot carry as they are
};

// Gathers the files of every SOURCE (host paths: a directory contributes its
// whole tree, a file itself) in a fixed order: sources as given, each tree
// sorted by path. Symbolic links inside a tree are never followed: one whose
// target stays in the tree is recorded as a link, any other is refused (or
// copied, with `rules.copyOutsideLinks`, when it points to a file). Empty
// directories are recorded. Raises ToolError for a missing source, and,
// naming every one of them at once, for names a stored path cannot carry
// ("\", ":" or a control character in it), links refused and two files
// that would be stored under the same name (letter case ignored). Warns
// about names a flat restore maps to one file and entries that are neither
// files, directories nor links.
SourceScan scanSources(const std::vector<std::string>& sources, const ScanRules& rules = {});

// The stored name for a path relative to its SOURCE ("a/b.txt" gives
// "C:\a\b.txt").
std::string storedNameOf(const std::string& relativePath);

}  // namespace setupkit
