// The data block decoder: one block of chunks, written out or stepped over.
#include <cstring>

#include "engine/backup_file.h"
#include "engine/decode_ahead.h"
#include "engine/record_reader.h"
#include "engine/zlib_inflater.h"
#include "framework/core/application_services.h"
#include "framework/core/exceptions.h"

namespace {

constexpr int32_t kChunkArea = archive_format::kChunkArea;

// The progress percentage of a restore: a 64-bit product, truncating
// division, kept within 0..100. Without a usable total (0 or less) there is no
// measurable progress until the final report gives 100.
TPercentage percentage(int32_t bytesDone, int32_t totalSize) {
  if (totalSize <= 0) return 0;
  int64_t p = int64_t(bytesDone) * 100 / totalSize;
  return TPercentage(p < 0 ? 0 : p > 100 ? 100 : p);
}

}  // namespace

bool TBackupFile::ReadDataBlock(TStream& Source, TStream* Dest, bool WriteData) {
  archive_format::StreamSource source(Source);
  archive_format::RecordReader block(source);
  if (!block.blockStarts()) throw Exception("Invalid archive type");

  // The component's input and output areas; nothing is allocated per chunk.
  if (WriteData && !FChunkInput) {
    FChunkInput.reset(new uint8_t[kChunkArea]);
    FChunkOutput.reset(new uint8_t[kChunkArea]);
  }
  uint8_t* const input = FChunkInput.get();
  uint8_t* const output = FChunkOutput.get();
  const bool reportsProgress = Dest != nullptr && dynamic_cast<TFileStream*>(Dest) != nullptr;

  int32_t chunkLength = -1;
  int32_t chunkCount = 0;
  bool ended = false;   // the terminating ChunkLength was read
  bool failed = false;  // zlib could not decode a chunk
  while (chunkLength != 0 && FContinue) {
    // Only the decoding thread needs to know where a chunk lies.
    const archive_format::ChunkHead chunk = block.chunk(FDecodeAhead != nullptr);
    chunkLength = chunk.field;
    if (chunk.end()) {
      chunkCount = 0;
      ended = true;
    } else {
      const bool compressed = !chunk.stored();
      const int64_t length = chunk.length;
      if (WriteData) {
        // A chunk larger than the input area breaks the format; it is never
        // read into the area but rejected like a bad block.
        if (length > kChunkArea) throw Exception("Invalid archive type");
        const int64_t at = chunk.offset;
        Source.readBuffer(input, length);
        // A stored chunk is written as read; a compressed one as decoded
        // ahead, or else decoded here.
        const uint8_t* bytes = input;
        chunkCount = int32_t(length);
        if (compressed) {
          uint32_t aheadCount = 0;
          bytes = FDecodeAhead ? FDecodeAhead->take(at, input, uint32_t(length), &aheadCount) : nullptr;
          if (bytes) {
            chunkCount = int32_t(aheadCount);
          } else {
            InflateOutcome r = inflateChunk(input, uint32_t(length), output, kChunkArea);
            if (r.failed) {
              failed = true;
              FErrorCode = 6;
              FContinue = false;
            }
            chunkCount = int32_t(r.produced);
            bytes = output;
          }
        }
        if (Dest) {
          Dest->writeBuffer(bytes, chunkCount);
          if (FCheckingFile) FCheckingFile->fileData(bytes, size_t(chunkCount));
        }
      } else {
        // Skip mode seeks instead of reading: the data is never needed.
        Source.seek(length, platform::kSeekCurrent);
      }
    }
    application().processMessages();
    if (reportsProgress) {
      FBytesDone = int32_t(uint32_t(FBytesDone) + uint32_t(chunkCount));
      if (OnProgress) {
        try {
          OnProgress(this, FCurrentFile, percentage(FBytesDone, FTotalSize), FContinue);
        } catch (...) {
          FHandlerRaised = true;
          throw;
        }
      }
    }
    if (cancelRequested()) FContinue = false;
  }
  return ended && !failed;
}
