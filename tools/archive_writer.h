#pragma once
// Writes an archive: header, entry records and data blocks, cut into volumes
// of at most a given size. A volume is cut only between chunks; a cut closes
// the data block, writes a volume-change entry, and the next volume starts
// with a continuation data block (empty when the cut falls between entries).
//
// Every volume is written under a temporary name beside its target and
// renamed only by commit(), so a failed write leaves nothing that looks like
// an archive.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "tools/piece_compressor.h"

namespace setupkit {

class ArchiveWriter {
 public:
  // firstVolume: host path of the archive; volumeSize: the largest volume in
  // bytes, 0 for a single volume of any size; firstVolumeSize: a smaller
  // limit for the first volume only (0: the same as the others).
  ArchiveWriter(std::string firstVolume, int64_t volumeSize, int64_t firstVolumeSize = 0);
  // Removes the temporary files unless commit() has run.
  ~ArchiveWriter();
  ArchiveWriter(const ArchiveWriter&) = delete;
  ArchiveWriter& operator=(const ArchiveWriter&) = delete;

  // Writes the archive header. Call once, first.
  void writeHeader(const std::string& headerText, int32_t totalSize, int32_t headerExtra);
  // Starts an entry (a file, or "FILE:LIST"); its record is written together
  // with its first chunk, so that a volume never ends just after a record.
  void beginEntry(const std::string& name, uint32_t fileDate);
  // Appends a chunk to the entry's data.
  void writeChunk(const Chunk& chunk);
  // Closes the entry's data block.
  void endEntry();
  // Writes the end marker and closes the last volume.
  void finish();
  // Renames the volumes to their final names (continuation volumes first) and
  // removes stale continuation volumes of an earlier archive of that name.
  // Returns the paths of the stale volumes removed.
  std::vector<std::string> commit();

  // Final host paths of the volumes written so far.
  std::vector<std::string> volumePaths() const;
  // Bytes written over all volumes.
  int64_t bytesWritten() const { return written_; }

  // Raises ToolError: every failure carries a message for the user.

 private:
  struct PendingEntry {
    std::string name;
    uint32_t fileDate;
  };
  int64_t entryRecordSize(const PendingEntry& e) const;
  void writeEntryRecord(const PendingEntry& e);
  void ensureRoomForEntry(int64_t firstItem);
  void changeVolume();
  void cutBetweenEntries();
  void cutInsideBlock();
  void openVolume();
  void closeVolume();
  void put(const void* data, size_t length);
  void putInt32(int32_t value);
  [[noreturn]] void tooSmall(int64_t needed) const;

  // The limit of the volume being written.
  int64_t limit() const { return temporaries_.size() <= 1 ? firstLimit_ : limit_; }

  std::string firstVolume_;
  int64_t limit_;
  int64_t firstLimit_;
  std::vector<std::string> temporaries_;
  std::FILE* file_ = nullptr;
  std::vector<char> buffer_;
  int64_t used_ = 0;     // bytes in the current volume
  int64_t written_ = 0;  // bytes in all volumes
  bool inBlock_ = false;
  bool anyEntry_ = false;
  bool committed_ = false;
  std::optional<PendingEntry> pending_;
};

}  // namespace setupkit
