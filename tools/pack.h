#pragma once
// pack: writes an archive and its continuation volumes from SOURCE trees.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>
#include "engine/archive_format.h"

#include "tools/piece_compressor.h"
#include "tools/source_tree.h"

namespace setupkit {

struct PackOptions {
  std::string archive;               // host path of the first volume
  std::vector<std::string> sources;  // host paths of files and directories
  Level level = kPackLevel;
  int64_t volumeSize = 0;       // 0: one volume
  int64_t firstVolumeSize = 0;  // a smaller first volume (0: volumeSize)
  std::string headerText;
  bool fileList = true;  // store the manifest as a file-list entry
  unsigned threads = 0;  // 0: every core
  // Host path of the attributes file to write (medium/medium_attributes.h):
  // each file's mode, size and SHA-256, the links and the empty folders.
  // Empty: none; links and empty folders are then left out with a warning.
  std::string attributes;
  ScanRules links;           // how symbolic links are taken
  bool groupWrite = false;   // keep group and other write permission
  bool flatWarnings = true;  // warn about names a flat restore maps to one file
  // Called on the calling thread as file data goes into the archive, with
  // the bytes of file data written so far and TotalSize. May be empty.
  std::function<void(uint64_t done, uint64_t total)> progress;
};

struct PackResult {
  std::vector<std::string> volumes;       // host paths, first volume first
  std::vector<std::string> warnings;      // for the user; the archive was written
  std::vector<std::string> staleRemoved;  // continuation volumes of an older archive
  size_t files = 0;
  size_t links = 0;          // kept in the attributes file
  size_t folders = 0;        // empty folders kept there
  std::string attributes;    // host path of the attributes file, when written
  uint64_t totalSize = 0;    // the header's TotalSize
  int64_t archiveBytes = 0;  // all volumes together
};

// Packs the sources into options.archive. Files are cut into pieces of at
// most 16384 bytes, each compressed on its own (on all threads) or stored.
// The header's TotalSize is the sum of the file sizes and must be 1 to
// 2147483647: otherwise ToolError is raised before anything is written.
// Raises ToolError for every other failure too (unreadable or changing
// source, volume size too small, write errors); then no archive is left.
PackResult pack(const PackOptions& options);

// The file-list entry's name.
inline constexpr const char* kFileListName = archive_format::kFileListName.data();

}  // namespace setupkit
