// The fast chunk decoder against zlib's inflate: wherever the fast decoder
// claims a chunk, zlib gives the same bytes without failing; everything else
// is zlib's own result, partial output included.
#include <gtest/gtest.h>
#include <libdeflate.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/zlib_inflater.h"
#include "tests/support/archive_builder.h"

namespace {

constexpr uint32_t kArea = 16384;

std::string textBytes(size_t n) {
  std::string s;
  for (int i = 0; s.size() < n; ++i) s += "entry " + std::to_string(i % 113) + " of the setup text\n";
  return s.substr(0, n);
}

std::string libdeflateCompress(const std::string& data, int level) {
  libdeflate_compressor* c = libdeflate_alloc_compressor(level);
  std::string out(libdeflate_zlib_compress_bound(c, data.size()), '\0');
  out.resize(libdeflate_zlib_compress(c, data.data(), data.size(), out.data(), out.size()));
  libdeflate_free_compressor(c);
  return out;
}

// Rewrites the window-size nibble of a zlib header and mends its check bits.
std::string withWindowBits(std::string stream, int cinfo) {
  stream[0] = char((cinfo << 4) | 8);
  uint8_t flags = uint8_t(stream[1]) & 0xE0;
  while (((uint8_t(stream[0]) << 8) | flags) % 31 != 0) ++flags;
  stream[1] = char(flags);
  return stream;
}

struct Row {
  std::string name;
  std::string stream;
  bool fast;  // the fast decoder must take it (a sound stream that fits)
};

std::vector<Row> soundAndOddRows() {
  const std::string text = textBytes(3000);
  const std::string area = textBytes(kArea);
  const std::string noise = patternBytes(kArea);
  std::string adler = zlibCompress(text);
  adler.back() = char(adler.back() ^ 1);
  std::string method = zlibCompress(text);
  method[0] = char((method[0] & 0xF0) | 7);
  std::string check = zlibCompress(text);
  check[1] = char(check[1] ^ 1);
  return {
      {"empty data", zlibCompress(""), true},
      {"one byte", zlibCompress("x"), true},
      {"text level 9", zlibCompress(text), true},
      {"text level 1", zlibCompress(text, 1), true},
      {"stored blocks (level 0)", zlibCompress(text, 0), true},
      {"incompressible, fills the area", zlibCompress(noise), true},
      {"text filling the area exactly", zlibCompress(area), true},
      {"fixed Huffman codes", zlibCompressWith(text, 9, Z_FIXED), true},
      {"Huffman only", zlibCompressWith(text, 9, Z_HUFFMAN_ONLY), true},
      {"run lengths", zlibCompressWith(std::string(9000, 'a') + text, 9, Z_RLE), true},
      {"many blocks with full flushes", zlibCompressWith(area, 6, Z_DEFAULT_STRATEGY, 700), true},
      {"libdeflate level 12", libdeflateCompress(area, 12), true},
      {"small window declared, long distances used", withWindowBits(zlibCompress(text + text), 0), true},
      {"bytes after the stream", zlibCompress(text) + "trailing", true},
      {"one byte over the area", zlibCompress(area + "!"), false},
      {"far over the area", zlibCompress(textBytes(size_t(5) * kArea)), false},
      {"preset dictionary", zlibCompressWithDictionary(text, "entry 1 of the setup"), false},
      {"Adler-32 mismatch", adler, false},
      {"compression method 7", method, false},
      {"header check bits wrong", check, false},
      {"window size nibble 8", withWindowBits(zlibCompress(text), 8), false},
      {"nothing", "", false},
      {"header only", zlibCompress(text).substr(0, 2), false},
      {"not zlib at all", patternBytes(500, 7), false},
  };
}

void expectAgreement(const std::string& name, const std::string& stream, bool mustBeFast) {
  SCOPED_TRACE(name);
  const auto* in = reinterpret_cast<const uint8_t*>(stream.data());
  std::vector<uint8_t> fastOut(kArea, 0xAA), zlibOut(kArea, 0x55), chunkOut(kArea, 0x33);
  uint32_t fastProduced = 0;
  const bool fast = inflateChunkFast(in, uint32_t(stream.size()), fastOut.data(), kArea, &fastProduced);
  const InflateOutcome z = inflateChunkWithZlib(in, uint32_t(stream.size()), zlibOut.data(), kArea);
  const InflateOutcome chunk = inflateChunk(in, uint32_t(stream.size()), chunkOut.data(), kArea);
  if (mustBeFast) {
    EXPECT_TRUE(fast);
  }
  if (fast) {
    EXPECT_FALSE(z.failed);
    ASSERT_EQ(fastProduced, z.produced);
    EXPECT_EQ(0, std::memcmp(fastOut.data(), zlibOut.data(), z.produced));
  }
  EXPECT_EQ(chunk.failed, z.failed);
  ASSERT_EQ(chunk.produced, z.produced);
  EXPECT_EQ(0, std::memcmp(chunkOut.data(), zlibOut.data(), z.produced));
}

TEST(ChunkInflateDifferential, SoundOddAndBrokenStreams) {
  for (const Row& row : soundAndOddRows()) expectAgreement(row.name, row.stream, row.fast);
}

TEST(ChunkInflateDifferential, EveryTruncation) {
  const std::string streams[] = {zlibCompress(textBytes(2500)), zlibCompressWith(textBytes(2500), 9, Z_FIXED),
                                 zlibCompress(patternBytes(600), 0)};
  for (const std::string& stream : streams)
    for (size_t n = 0; n < stream.size(); ++n)
      expectAgreement("cut at " + std::to_string(n), stream.substr(0, n), false);
}

TEST(ChunkInflateDifferential, EveryFlippedBit) {
  // Dynamic codes (headers, code lengths, symbols), fixed codes and stored
  // blocks, so that every field of the format is hit by some flip.
  const std::string streams[] = {zlibCompress(textBytes(1200)), zlibCompressWith(textBytes(400), 9, Z_FIXED),
                                 zlibCompress(patternBytes(100), 0),
                                 zlibCompressWith(textBytes(900), 9, Z_DEFAULT_STRATEGY, 300)};
  for (const std::string& stream : streams) {
    for (size_t bit = 0; bit < stream.size() * 8; ++bit) {
      std::string flipped = stream;
      flipped[bit / 8] = char(flipped[bit / 8] ^ (1 << (bit % 8)));
      expectAgreement("bit " + std::to_string(bit), flipped, false);
    }
  }
}

// A fixed-code block that uses a length symbol no stream may use (286 or
// 287, as a flipped bit makes of 284 or 285): the fast decoder reads it as
// length 258, zlib refuses it. Found by fuzzing. The chunk is taken, with the
// fast decoder's bytes, only when the Adler-32 matches them.
std::string streamWithLengthSymbol(int symbol, bool adlerOfTheBytes) {
  std::string out("\x78\x01", 2);
  uint32_t bits = 0;
  int count = 0;
  auto put = [&](uint32_t value, int n) {  // value's n bits, least significant first
    for (int i = 0; i < n; ++i) {
      bits |= ((value >> i) & 1u) << count;
      if (++count == 8) {
        out += char(bits);
        bits = 0;
        count = 0;
      }
    }
  };
  auto code = [&](uint32_t value, int n) {  // a Huffman code, most significant bit first
    for (int i = n - 1; i >= 0; --i) put((value >> i) & 1u, 1);
  };
  put(1, 1);                               // the last block
  put(1, 2);                               // fixed codes
  code(0x30 + 'a', 8);                     // the literal 'a'
  code(0xC0 + uint32_t(symbol - 280), 8);  // the length symbol
  code(0, 5);                              // distance 1
  code(0, 7);                              // end of block
  if (count) out += char(bits);
  const std::string bytes(259, 'a');
  uint32_t adler = uint32_t(adler32(1, reinterpret_cast<const Bytef*>(bytes.data()), uInt(bytes.size())));
  if (!adlerOfTheBytes) adler ^= 1;
  for (int shift = 24; shift >= 0; shift -= 8) out += char(adler >> shift);
  return out;
}

TEST(ChunkInflateDifferential, ALengthSymbolNoStreamMayUse) {
  for (int symbol : {286, 287}) {
    for (bool matching : {true, false}) {
      SCOPED_TRACE(std::to_string(symbol) + (matching ? ", Adler-32 of the bytes" : ", another Adler-32"));
      const std::string stream = streamWithLengthSymbol(symbol, matching);
      const auto* in = reinterpret_cast<const uint8_t*>(stream.data());
      std::vector<uint8_t> out(kArea);
      EXPECT_TRUE(inflateChunkWithZlib(in, uint32_t(stream.size()), out.data(), kArea).failed);
      const InflateOutcome chunk = inflateChunk(in, uint32_t(stream.size()), out.data(), kArea);
      EXPECT_EQ(chunk.failed, !matching);
      if (matching) {
        ASSERT_EQ(chunk.produced, 259u);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.data()), 259), std::string(259, 'a'));
      }
    }
  }
}

TEST(ChunkInflateDifferential, SmallerOutputAreas) {
  // The engine always offers 16384 bytes; other capacities check that an
  // overlong stream is never taken by the fast decoder.
  const std::string stream = zlibCompress(textBytes(3000));
  for (uint32_t capacity : {0u, 1u, 2999u, 3000u, 3001u}) {
    SCOPED_TRACE(capacity);
    std::vector<uint8_t> a(kArea), b(kArea);
    uint32_t produced = 0;
    const auto* in = reinterpret_cast<const uint8_t*>(stream.data());
    const bool fast = inflateChunkFast(in, uint32_t(stream.size()), a.data(), capacity, &produced);
    const InflateOutcome z = inflateChunkWithZlib(in, uint32_t(stream.size()), b.data(), capacity);
    const InflateOutcome chunk = inflateChunk(in, uint32_t(stream.size()), a.data(), capacity);
    EXPECT_EQ(fast, capacity >= 3000);
    EXPECT_EQ(chunk.produced, z.produced);
    EXPECT_EQ(chunk.failed, z.failed);
    EXPECT_EQ(0, std::memcmp(a.data(), b.data(), z.produced));
  }
}

}  // namespace
