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
  uint32_t fileDate = 0;   // last-write time as a local DOS date-time
};

struct SourceScan {
  std::vector<SourceFile> files;       // in archive order
  uint64_t totalSize = 0;              // sum of the file sizes
  std::vector<std::string> warnings;   // things the archive cannot carry as they are
};

// Gathers the files of every SOURCE (host paths: a directory contributes its
// whole tree, a file itself) in a fixed order: sources as given, each tree
// sorted by path. Raises ToolError for a missing source, for a name that a
// stored path cannot carry ("\", ":" or a control character in it) and for
// two files that would be stored under the same name (letter case ignored).
// Warns about names a flat restore maps to one file, empty directories and
// entries that are neither files nor directories.
SourceScan scanSources(const std::vector<std::string>& sources);

// The stored name for a path relative to its SOURCE ("a/b.txt" gives
// "C:\a\b.txt").
std::string storedNameOf(const std::string& relativePath);

}  // namespace setupkit
