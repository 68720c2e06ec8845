// Fuzzes the chunk decoder's fast path against zlib's inflate. Wherever the
// fast decoder takes a chunk, zlib must end the same stream without failing
// and produce the same bytes; the decoder's answer must always be zlib's.
//
// The first input byte chooses what the rest is:
//   bit 0 clear  a chunk as an archive holds it, decoded as it is
//   bit 0 set    file data, compressed first (bits 1-4: zlib level 0 to 9, or
//                10 to 12 with libdeflate; bits 5-7 flip one bit of the
//                stream at a position taken from the data when not 0)
#include <libdeflate.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/zlib_inflater.h"

namespace {

constexpr uint32_t kArea = 16384;

std::string compress(const uint8_t* data, size_t size, int level) {
  if (level > 9) {
    // Kept for the whole run: these compressors are large to set up.
    static libdeflate_compressor* compressors[3] = {};
    libdeflate_compressor*& c = compressors[level - 10];
    if (!c) c = libdeflate_alloc_compressor(level);
    if (!c) abort();
    std::string out(libdeflate_zlib_compress_bound(c, size), '\0');
    out.resize(libdeflate_zlib_compress(c, data, size, out.data(), out.size()));
    return out;
  }
  uLongf length = compressBound(uLong(size));
  std::string out(length, '\0');
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &length, data, uLong(size), level) != Z_OK) abort();
  out.resize(length);
  return out;
}

void check(const std::string& chunk, const uint8_t* original, size_t originalSize) {
  const auto* in = reinterpret_cast<const uint8_t*>(chunk.data());
  const uint32_t length = uint32_t(chunk.size());
  static uint8_t fastOut[kArea], zlibOut[kArea], chunkOut[kArea];
  uint32_t fastProduced = 0;
  const bool fast = inflateChunkFast(in, length, fastOut, kArea, &fastProduced);
  const InflateOutcome z = inflateChunkWithZlib(in, length, zlibOut, kArea);
  const InflateOutcome c = inflateChunk(in, length, chunkOut, kArea);
  // The fast decoder takes the length symbols a stream may not use (286 and
  // 287) as length 258; zlib refuses them. Such a stream is taken only when its Adler-32 still
  // matches, so the bytes are the ones that were packed: the one place where
  // the two may differ, and then zlib's refusal is what does not count.
  if (fast && !z.failed && (fastProduced != z.produced || std::memcmp(fastOut, zlibOut, z.produced))) abort();
  const uint8_t* expected = fast ? fastOut : zlibOut;
  const uint32_t expectedSize = fast ? fastProduced : z.produced;
  if (c.failed != (fast ? false : z.failed) || c.produced != expectedSize ||
      std::memcmp(chunkOut, expected, expectedSize))
    abort();
  // An unharmed stream of data that fits the area decodes to that data.
  if (original && originalSize <= kArea &&
      (!fast || fastProduced != originalSize || std::memcmp(fastOut, original, originalSize)))
    abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > 70000) return 0;
  const uint8_t settings = data[0];
  ++data;
  --size;
  if ((settings & 1) == 0) {
    check(std::string(reinterpret_cast<const char*>(data), size), nullptr, 0);
    return 0;
  }
  const int level = ((settings >> 1) & 15) % 13;
  std::string stream = compress(data, size, level);
  const unsigned flip = settings >> 5;
  if (flip == 0) {
    check(stream, data, size);
  } else {
    size_t at = size >= 2 ? (size_t(data[0]) << 8 | data[1]) : 0;
    at = (at * 8 + flip) % (stream.size() * 8);
    stream[at / 8] = char(stream[at / 8] ^ (1 << (at % 8)));
    check(stream, nullptr, 0);
  }
  return 0;
}
