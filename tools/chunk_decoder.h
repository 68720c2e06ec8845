#pragma once
// Checks and decodes one compressed chunk the way an exacting reader would:
// one complete zlib stream that inflates to at most 16384 bytes.
#include <cstddef>
#include <cstdint>
#include <string>

namespace setupkit {

struct DecodedChunk {
  size_t produced = 0;  // bytes written to the output area (at most 16384)
  std::string problem;  // empty when the stream is sound
};

// Inflates `in` into `out` (16384 bytes). Reports as problems: a damaged
// stream (zlib's message), an incomplete one, one that needs a preset
// dictionary, one that inflates to more than 16384 bytes, and bytes after
// the end of the stream. Raises std::bad_alloc when zlib has no memory.
DecodedChunk decodeChunk(const uint8_t* in, size_t length, uint8_t* out);

}  // namespace setupkit
