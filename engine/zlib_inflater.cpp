#include "engine/zlib_inflater.h"

#include <libdeflate.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "framework/core/exceptions.h"

namespace {

ZlibAllocationHook gAllocationHook = nullptr;

struct AllocationState {
  bool failed = false;
};

// zlib calls these from C code: they must never throw. A failed allocation
// returns null, which zlib turns into Z_MEM_ERROR; the flag lets the caller
// raise "Out of memory" once zlib has returned.
voidpf allocate(voidpf opaque, uInt items, uInt size) {
  auto* state = static_cast<AllocationState*>(opaque);
  size_t bytes = size_t(items) * size_t(size);
  void* p = gAllocationHook ? gAllocationHook(bytes) : std::malloc(bytes);
  if (!p && bytes > 0) state->failed = true;
  return p;
}

void release(voidpf, voidpf address) { std::free(address); }

// Owns one z_stream for the length of one chunk; inflateEnd runs on every
// exit path.
class InflateStream {
 public:
  explicit InflateStream(AllocationState* state) {
    std::memset(&stream_, 0, sizeof stream_);
    stream_.zalloc = allocate;
    stream_.zfree = release;
    stream_.opaque = state;
    // Z_OK, or Z_MEM_ERROR / Z_VERSION_ERROR / Z_STREAM_ERROR (negative).
    initResult_ = inflateInit(&stream_);
  }
  ~InflateStream() {
    if (initResult_ == Z_OK) inflateEnd(&stream_);
  }
  InflateStream(const InflateStream&) = delete;
  InflateStream& operator=(const InflateStream&) = delete;

  bool initialised() const { return initResult_ == Z_OK; }
  z_stream& get() { return stream_; }

 private:
  z_stream stream_;
  int initResult_;
};

// The fast decoder's state (tables for one stream, no window: it decodes into
// the whole output area). Made once per thread on first use and kept, so a
// chunk costs no allocation.
struct DecompressorDeleter {
  void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

libdeflate_decompressor* threadDecompressor() {
  thread_local std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> decompressor(
      libdeflate_alloc_decompressor());
  return decompressor.get();
}

}  // namespace

void setZlibAllocationHookForTesting(ZlibAllocationHook hook) { gAllocationHook = hook; }

bool inflateChunkFast(const uint8_t* in, uint32_t inLength, uint8_t* out, uint32_t outCapacity, uint32_t* produced) {
  libdeflate_decompressor* decompressor = threadDecompressor();
  if (!decompressor) return false;
  size_t actual = 0;
  // Success means a complete stream with a matching checksum that fit the
  // area, which is exactly when zlib's single inflate call ends the stream
  // with the same bytes. Bytes after the stream are ignored by both.
  if (libdeflate_zlib_decompress(decompressor, in, inLength, out, outCapacity, &actual) != LIBDEFLATE_SUCCESS)
    return false;
  *produced = uint32_t(actual);
  return true;
}

InflateOutcome inflateChunk(const uint8_t* in, uint32_t inLength, uint8_t* out, uint32_t outCapacity) {
  InflateOutcome outcome;
  if (inflateChunkFast(in, inLength, out, outCapacity, &outcome.produced)) return outcome;
  // Every stream the fast decoder does not take (damage, an incomplete or
  // overlong stream, a preset dictionary) keeps zlib's partial output and
  // result.
  return inflateChunkWithZlib(in, inLength, out, outCapacity);
}

InflateOutcome inflateChunkWithZlib(const uint8_t* in, uint32_t inLength, uint8_t* out, uint32_t outCapacity) {
  AllocationState allocation;
  InflateOutcome outcome;
  {
    InflateStream stream(&allocation);
    if (!stream.initialised()) {
      outcome.failed = true;
    } else {
      z_stream& z = stream.get();
      z.next_in = const_cast<Bytef*>(in);
      z.avail_in = inLength;
      z.next_out = out;
      z.avail_out = outCapacity;
      // Z_OK, Z_STREAM_END and Z_NEED_DICT are not failures; every negative
      // code (Z_DATA_ERROR, Z_MEM_ERROR, Z_BUF_ERROR, ...) is.
      int result = inflate(&z, Z_NO_FLUSH);
      outcome.failed = result < 0;
      outcome.produced = uint32_t(z.total_out);
    }
  }
  if (allocation.failed) throw EOutOfMemory();
  return outcome;
}
