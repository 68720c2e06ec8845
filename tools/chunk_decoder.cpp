#include "tools/chunk_decoder.h"

#include <zlib.h>

#include <cstring>
#include <new>

#include "tools/piece_compressor.h"

namespace setupkit {

DecodedChunk decodeChunk(const uint8_t* in, size_t length, uint8_t* out) {
  z_stream z;
  std::memset(&z, 0, sizeof z);
  if (inflateInit(&z) != Z_OK) throw std::bad_alloc();
  z.next_in = const_cast<Bytef*>(in);
  z.avail_in = uInt(length);
  z.next_out = out;
  z.avail_out = kPieceSize;
  int r = inflate(&z, Z_FINISH);
  DecodedChunk result;
  result.produced = z.total_out;
  if (r == Z_STREAM_END) {
    if (z.avail_in > 0) result.problem = std::to_string(z.avail_in) + " bytes follow the end of the zlib stream";
  } else if (r == Z_NEED_DICT) {
    result.problem = "the zlib stream needs a preset dictionary";
  } else if (r == Z_DATA_ERROR) {
    result.problem = std::string("the zlib stream is damaged (") + (z.msg ? z.msg : "data error") + ")";
  } else if (r == Z_MEM_ERROR) {
    inflateEnd(&z);
    throw std::bad_alloc();
  } else if (z.avail_out == 0) {
    // The area is full: see whether the stream has more to give.
    uint8_t spare[256];
    z.next_out = spare;
    z.avail_out = sizeof spare;
    int more = inflate(&z, Z_FINISH);
    if (z.avail_out < sizeof spare)
      result.problem = "the zlib stream inflates to more than 16384 bytes";
    else if (more == Z_STREAM_END)
      result.problem = z.avail_in > 0 ? std::to_string(z.avail_in) + " bytes follow the end of the zlib stream" : "";
    else
      result.problem = more == Z_DATA_ERROR ? "the zlib stream is damaged" : "the zlib stream is incomplete";
  } else {
    result.problem = "the zlib stream is incomplete";
  }
  inflateEnd(&z);
  return result;
}

}  // namespace setupkit
