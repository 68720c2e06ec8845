// What the archive format's 16 KiB chunks cost in size, for the benchmark.
// For every file of a tree it sums
//   - zlib level 9 over the whole file, as raw deflate (the data of a zip -9),
//   - zlib level 9 over each 16 KiB piece, as a zlib stream (an archive
//     packed with zlib),
//   - libdeflate level 12 over each 16 KiB piece (the smallest packing),
// each piece or file counted stored when that is not smaller.
//
//   chunk_bound DIR    prints "whole-zlib9 chunks-zlib9 chunks-libdeflate12"
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace fs = std::filesystem;

namespace {

size_t rawDeflate9(const std::string& data) {
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, data.size()), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = uInt(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = uInt(out.size());
  deflate(&z, Z_FINISH);
  size_t n = z.total_out;
  deflateEnd(&z);
  return std::min(n, data.size());
}

size_t zlib9(const char* data, size_t size) {
  uLongf n = compressBound(uLong(size));
  std::string out(n, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(data), uLong(size), 9);
  return std::min<size_t>(n, size);
}

size_t libdeflate12(libdeflate_compressor* c, const char* data, size_t size) {
  std::string out(libdeflate_zlib_compress_bound(c, size), '\0');
  size_t n = libdeflate_zlib_compress(c, data, size, out.data(), out.size());
  return n == 0 ? size : std::min(n, size);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: chunk_bound DIR\n");
    return 64;
  }
  constexpr size_t kPiece = 16384;
  libdeflate_compressor* c = libdeflate_alloc_compressor(12);
  unsigned long long whole = 0, chunksZlib = 0, chunksLibdeflate = 0;
  for (const auto& e : fs::recursive_directory_iterator(argv[1])) {
    if (!e.is_regular_file()) continue;
    std::ifstream in(e.path(), std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    whole += rawDeflate9(data);
    for (size_t at = 0; at < data.size(); at += kPiece) {
      size_t n = std::min(kPiece, data.size() - at);
      chunksZlib += zlib9(data.data() + at, n);
      chunksLibdeflate += libdeflate12(c, data.data() + at, n);
    }
  }
  libdeflate_free_compressor(c);
  std::printf("%llu %llu %llu\n", whole, chunksZlib, chunksLibdeflate);
  return 0;
}
