#pragma once
// Builds archive volumes byte by byte for tests: the header, file entries with
// stored or compressed chunks, fillers, file-list and volume-change entries,
// and raw bytes anywhere, so that damaged archives are as easy to make as good
// ones. Integers are written as 32-bit little-endian values.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// A zlib stream (zlib header, deflate data, Adler-32 trailer) of `data`.
std::string zlibCompress(const std::string& data, int level = 9);
// A zlib stream of `data` made with a deflate strategy (Z_FILTERED, Z_RLE,
// Z_HUFFMAN_ONLY, Z_FIXED, ...) and, when flushEvery is not 0, a full flush
// after every flushEvery input bytes, so that one stream holds many blocks.
std::string zlibCompressWith(const std::string& data, int level, int strategy, size_t flushEvery = 0);
// A zlib stream whose header asks for the preset dictionary `dictionary`.
std::string zlibCompressWithDictionary(const std::string& data, const std::string& dictionary);
// The 4 little-endian bytes of a 32-bit value.
std::string int32Bytes(int32_t value);
// `n` bytes of a repeatable, poorly compressible pattern seeded by `seed`.
std::string patternBytes(size_t n, uint32_t seed = 1);

// The smallest useful archive, 49 bytes: TotalSize 5, one entry C:\A.TXT dated
// 15 June 2001 12:30:00 (0x2ACF63C0) holding "hello" in one stored chunk, no
// file list, the end marker.
inline const std::string kSmallestArchive(
    "\0\0\0\0\5\0\0\0\0\0\0\0\x08\0\0\0C:\\A.TXT\xC0\x63\xCF\x2A"
    "EC2\0\xFB\xFF\xFF\xFFhello\0\0\0\0\0\0\0\0",
    49);

// One data block: a signature, chunks, and (unless left open) the zero
// ChunkLength that ends it.
class DataBlock {
 public:
  DataBlock() = default;

  // Replaces the 4 signature bytes ("EC2\0" by default).
  DataBlock& signature(const std::string& fourBytes);
  // A stored chunk: ChunkLength -size, then the bytes.
  DataBlock& stored(const std::string& bytes);
  // A compressed chunk holding zlibCompress(bytes).
  DataBlock& compressed(const std::string& bytes, int level = 9);
  // A chunk with a positive ChunkLength over bytes given as they are (damaged
  // or unusual zlib streams).
  DataBlock& compressedRaw(const std::string& zlibBytes);
  // A ChunkLength without data, and raw bytes, for malformed blocks.
  DataBlock& chunkLength(int32_t length);
  DataBlock& raw(const std::string& bytes);
  // Leaves out the terminating zero ChunkLength.
  DataBlock& unterminated();

  // Splits `content` into pieces of at most `piece` bytes, each compressed
  // when asked for and when its stream fits a chunk, stored otherwise.
  static DataBlock ofContent(const std::string& content, bool compress, size_t piece = 16384);

  // The encoded block.
  std::string bytes() const;

 private:
  std::string signature_ = std::string("EC2\0", 4);
  std::string chunks_;
  bool terminated_ = true;
};

// One archive volume, written front to back. Every call appends.
class ArchiveBuilder {
 public:
  // The archive header: HeaderTextLength, HeaderText, TotalSize, HeaderExtra.
  ArchiveBuilder& header(int32_t totalSize, int32_t headerExtra = 0, const std::string& headerText = {});
  // A file entry: NameLength, Name, FileDate, data block.
  ArchiveBuilder& file(const std::string& name, uint32_t fileDate, const DataBlock& block);
  // A file entry whose content is stored in one chunk.
  ArchiveBuilder& storedFile(const std::string& name, uint32_t fileDate, const std::string& content);
  // The file-list entry "FILE:LIST".
  ArchiveBuilder& fileList(uint32_t fileDate, const DataBlock& block);
  // A volume-change entry "NEXT:DISK" + volumeNumber ("002").
  ArchiveBuilder& volumeChange(const std::string& volumeNumber);
  // A bare entry name (NameLength and Name), for entries built by hand.
  ArchiveBuilder& name(const std::string& name);
  // A negative NameLength, read past as filler.
  ArchiveBuilder& filler(int32_t negativeLength = -1);
  // A data block on its own (the continuation at the start of a volume).
  ArchiveBuilder& block(const DataBlock& block);
  // The end marker (NameLength 0).
  ArchiveBuilder& end();
  ArchiveBuilder& int32(int32_t value);
  ArchiveBuilder& raw(const std::string& bytes);

  // Remembers the current offset under a name, so that tests can cut or
  // damage the archive at a known field.
  ArchiveBuilder& mark(const std::string& label);
  size_t offset(const std::string& label) const { return marks_.at(label); }
  size_t size() const { return bytes_.size(); }

  const std::string& bytes() const { return bytes_; }
  std::vector<uint8_t> data() const { return std::vector<uint8_t>(bytes_.begin(), bytes_.end()); }

 private:
  std::string bytes_;
  std::map<std::string, size_t> marks_;
};
