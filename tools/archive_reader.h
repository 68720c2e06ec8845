#pragma once
// Reads a whole archive, every volume, the way list and verify need it: each
// entry with its location, the sizes of its data, a hash of the file bytes,
// and every problem found, each with its volume and offset. Reads archives of
// any writer: fillers, file-list entries anywhere, no manifest.
#include <cstdint>
#include <string>
#include <vector>

namespace setupkit {

enum class EntryKind { File, FileList, VolumeChange, Filler };

struct Location {
  int volume = 1;      // 1 for the first volume
  int64_t offset = 0;  // from the start of that volume
};

struct EntryInfo {
  EntryKind kind = EntryKind::File;
  Location at;              // the entry record's NameLength field
  std::string name;         // empty for a filler
  int32_t fileDate = 0;     // file and file-list entries
  uint64_t fileSize = 0;    // bytes the data decodes to (what a restore writes)
  uint64_t storedSize = 0;  // bytes of ChunkData, continuation blocks included
  uint32_t chunks = 0;
  std::string sha256;  // of the decoded bytes, files and file lists
  std::string data;    // the decoded bytes of a file-list entry
};

struct Problem {
  Location at;
  int entry = -1;  // index into ArchiveInfo::entries, -1 for none
  std::string message;
};

struct ArchiveInfo {
  std::vector<std::string> volumes;  // host paths of the volumes read, in order
  std::vector<int> volumeNumbers;    // their numbers (1 for the first)
  std::string headerText;
  int32_t totalSize = 0;
  int32_t headerExtra = 0;
  std::vector<EntryInfo> entries;
  std::vector<Problem> problems;
  bool complete = false;  // the end marker was reached
};

// Reads the archive whose first volume is the host file `firstVolume`;
// further volumes are looked up beside it (letter case ignored when the
// exact name is missing), then in their disk's folder beside disk1/ and in
// the host folders `media`. Problems never raise: a damaged chunk is recorded
// and reading goes on; damage that leaves the rest unreadable is recorded
// and ends the reading (complete stays false). Raises ArchiveNotFound when
// the first volume does not exist.
ArchiveInfo readArchive(const std::string& firstVolume, const std::vector<std::string>& media = {});

// "volume 2 (SETUP.002) offset 1234", for reports.
std::string describeLocation(const ArchiveInfo& info, const Location& at);

}  // namespace setupkit
