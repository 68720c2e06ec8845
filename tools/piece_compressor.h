#pragma once
// Turns one piece of a file (at most 16384 bytes) into the chunk that stores
// it: a complete zlib stream of its own when that is smaller than the piece,
// the raw bytes otherwise.
#include <cstdint>
#include <memory>
#include <vector>
#include "engine/archive_format.h"

namespace setupkit {

// The largest piece of file data one chunk carries.
inline constexpr int32_t kPieceSize = archive_format::kChunkArea;

// A compression level from 0 (every piece stored) to 12 (the smallest
// streams); the named ones are the levels the command line offers by name.
enum class Level : int { None = 0, Fastest = 1, Default = 6, Max = 12 };
inline constexpr int kHighestLevel = 12;
// The level pack uses unless told otherwise. Measured on a 256 MiB installer
// mix cut into 16 KiB pieces: level 11 gives streams 0.013 % larger than 12
// in 70 % of its time, and keeps packing on two cores well under half the
// time of a single-stream zip -9 of the same tree, where 12 does not.
inline constexpr Level kPackLevel = Level(11);

struct Chunk {
  bool compressed = false;    // true: data is a zlib stream; false: the raw piece
  std::vector<uint8_t> data;  // the chunk's ChunkData, 1 to 16384 bytes
};

// Compresses pieces at one level. Keeps its compressor state between pieces,
// so one object per thread. Not thread-safe. The stream of a piece depends on
// the piece and the level only.
class PieceCompressor {
 public:
  explicit PieceCompressor(Level level);
  ~PieceCompressor();
  PieceCompressor(const PieceCompressor&) = delete;
  PieceCompressor& operator=(const PieceCompressor&) = delete;

  // The chunk for a piece of 1 to kPieceSize bytes. Compressed only when the
  // zlib stream is strictly shorter than the piece. Raises std::bad_alloc
  // when the compressor cannot get memory.
  Chunk compress(const uint8_t* piece, size_t length);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace setupkit
