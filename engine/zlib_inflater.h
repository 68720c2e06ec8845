#pragma once
// The decoder's contact with the inflaters: inflate one chunk, a complete zlib
// stream of its own, into a fixed output area. A fast whole-buffer decoder
// handles every chunk it can decode completely; anything else goes to zlib's
// inflate, whose result is the one that counts.
#include <cstddef>
#include <cstdint>

struct InflateOutcome {
  uint32_t produced = 0;  // bytes written to the output area (zlib's total_out)
  bool failed = false;    // inflateInit or inflate returned a negative code
};

// Inflates `in` into `out` (capacity outCapacity) with the result zlib's
// inflateChunkWithZlib gives, byte for byte: the fast decoder answers when it
// decodes one complete, sound stream that fits the area, zlib otherwise.
// Raises EOutOfMemory like inflateChunkWithZlib.
InflateOutcome inflateChunk(const uint8_t* in, uint32_t inLength, uint8_t* out, uint32_t outCapacity);

// The fast decoder alone: true when `in` starts with one complete zlib stream
// (header, deflate data and a matching Adler-32) whose data fits outCapacity;
// then its bytes are in `out` and their count in *produced. False for
// everything else (damaged, incomplete, preset dictionary, too long, no
// memory for the decoder), with `out` left in any state.
bool inflateChunkFast(const uint8_t* in, uint32_t inLength, uint8_t* out, uint32_t outCapacity, uint32_t* produced);

// Inflates `in` into `out` (capacity outCapacity) with one zlib
// inflate(Z_NO_FLUSH) call, the default 15-bit window and a zlib header, and
// always ends the zlib stream. A negative zlib result is reported as failed
// (the bytes produced before it are still counted); a positive one (stream
// incomplete, preset dictionary wanted) is not a failure. Raises EOutOfMemory
// when zlib could not get memory; the raise happens after zlib has returned
// and been ended.
InflateOutcome inflateChunkWithZlib(const uint8_t* in, uint32_t inLength, uint8_t* out, uint32_t outCapacity);

// Replaces the allocation function zlib's memory comes from (null restores
// malloc); tests use it to simulate memory exhaustion.
using ZlibAllocationHook = void* (*)(size_t bytes);
void setZlibAllocationHookForTesting(ZlibAllocationHook hook);
