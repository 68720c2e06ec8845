// Packing side of engine/runtime_pack.h, kept apart so that the launcher,
// which only unpacks, links no compressor.
#include <zstd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <thread>

#include "engine/runtime_pack.h"

namespace fs = std::filesystem;

namespace runtime_pack {

namespace {

struct CCtxFree {
  void operator()(ZSTD_CCtx* c) const { ZSTD_freeCCtx(c); }
};

class Writer {
 public:
  Writer(const std::string& out, int level) : file_(out, std::ios::binary | std::ios::trunc), context_(ZSTD_createCCtx()) {
    if (!file_) throw std::runtime_error("Cannot write " + out);
    ZSTD_CCtx* c = context_.get();
    check(ZSTD_CCtx_setParameter(c, ZSTD_c_compressionLevel, level));
    check(ZSTD_CCtx_setParameter(c, ZSTD_c_windowLog, kWindowLog));
    check(ZSTD_CCtx_setParameter(c, ZSTD_c_checksumFlag, 1));
    // Several threads where the library has them; the stream is the same.
    ZSTD_CCtx_setParameter(c, ZSTD_c_nbWorkers, int(std::max(1u, std::thread::hardware_concurrency())));
    buffer_.resize(ZSTD_CStreamOutSize());
    file_.write(kMagic, kMagicSize);
  }

  void put(const void* data, size_t n) { feed(data, n, ZSTD_e_continue); }

  void number(uint64_t v, int bytes) {
    unsigned char b[8];
    for (int i = 0; i < bytes; ++i) b[i] = (unsigned char)(v >> (8 * i));
    put(b, size_t(bytes));
  }

  void finish() {
    feed(nullptr, 0, ZSTD_e_end);
    file_.close();
    if (!file_) throw std::runtime_error("Cannot write the packed runtime");
  }

 private:
  static void check(size_t ret) {
    if (ZSTD_isError(ret)) throw std::runtime_error(std::string("zstd: ") + ZSTD_getErrorName(ret));
  }

  void feed(const void* data, size_t n, ZSTD_EndDirective mode) {
    ZSTD_inBuffer in = {data, n, 0};
    while (true) {
      ZSTD_outBuffer out = {buffer_.data(), buffer_.size(), 0};
      size_t left = ZSTD_compressStream2(context_.get(), &out, &in, mode);
      check(left);
      file_.write(buffer_.data(), std::streamsize(out.pos));
      if (mode == ZSTD_e_end ? left == 0 : in.pos == in.size) break;
    }
  }

  std::ofstream file_;
  std::unique_ptr<ZSTD_CCtx, CCtxFree> context_;
  std::vector<char> buffer_;
};

void header(Writer& w, char kind, const std::string& path) {
  if (path.size() > 0xFFFF) throw std::runtime_error("A name too long for the packed runtime: " + path);
  w.put(&kind, 1);
  w.number(path.size(), 2);
  w.put(path.data(), path.size());
}

int64_t packFolder(Writer& w, const fs::path& folder, const std::string& prefix) {
  std::vector<fs::directory_entry> entries{fs::directory_iterator(folder), fs::directory_iterator()};
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.path() < b.path(); });
  int64_t bytes = 0;
  std::vector<char> buffer(1 << 20);
  for (const auto& e : entries) {
    const std::string path = prefix + e.path().filename().string();
    if (e.is_symlink()) throw std::runtime_error("A link cannot be packed into the runtime: " + e.path().string());
    if (e.is_directory()) {
      header(w, 'D', path);
      bytes += packFolder(w, e.path(), path + "/");
      continue;
    }
    if (!e.is_regular_file()) throw std::runtime_error("Not a file: " + e.path().string());
    const bool executable = (e.status().permissions() & fs::perms::owner_exec) != fs::perms::none;
    header(w, executable ? 'X' : 'F', path);
    const uint64_t size = e.file_size();
    w.number(size, 8);
    std::ifstream in(e.path(), std::ios::binary);
    uint64_t left = size;
    while (left > 0 && in) {
      in.read(buffer.data(), std::streamsize(std::min<uint64_t>(left, buffer.size())));
      w.put(buffer.data(), size_t(in.gcount()));
      left -= uint64_t(in.gcount());
    }
    if (left != 0) throw std::runtime_error("Cannot read " + e.path().string());
    bytes += int64_t(size);
  }
  return bytes;
}

}  // namespace

int64_t pack(const std::string& stage, const std::string& out, int level) {
  Writer w(out, level);
  int64_t bytes = packFolder(w, stage, "");
  const char end = 'E';
  w.put(&end, 1);
  w.finish();
  return bytes;
}

}  // namespace runtime_pack
