#pragma once
// The decoder's one contact with zlib: inflate one chunk, a complete zlib
// stream of its own, into a fixed output area with a single inflate call.
#include <cstddef>
#include <cstdint>

struct InflateOutcome {
  uint32_t produced = 0;  // bytes written to the output area (zlib's total_out)
  bool failed = false;    // inflateInit or inflate returned a negative code
};

// Inflates `in` into `out` (capacity outCapacity) with one inflate(Z_NO_FLUSH)
// call, the default 15-bit window and a zlib header, and always ends the zlib
// stream. A negative zlib result is reported as failed (the bytes produced
// before it are still counted); a positive one (stream incomplete, preset
// dictionary wanted) is not a failure. Raises EOutOfMemory when zlib could not
// get memory; the raise happens after zlib has returned and been ended.
InflateOutcome inflateChunk(const uint8_t* in, uint32_t inLength, uint8_t* out, uint32_t outCapacity);

// Replaces the allocation function zlib's memory comes from (null restores
// malloc); tests use it to simulate memory exhaustion.
using ZlibAllocationHook = void* (*)(size_t bytes);
void setZlibAllocationHookForTesting(ZlibAllocationHook hook);
