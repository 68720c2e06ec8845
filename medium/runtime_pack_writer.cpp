// Packing side of medium/runtime_pack.h, kept apart so that the launcher,
// which only unpacks, links no compressor.
#include <zstd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <thread>

#include "medium/runtime_pack.h"

namespace fs = std::filesystem;

namespace runtime_pack {

namespace {

struct CCtxFree {
  void operator()(ZSTD_CCtx* c) const { ZSTD_freeCCtx(c); }
};

// One file's record to be written: its name in the pack, where it is read
// from and the work of unpacking it (its bytes outside runs of zeros).
struct PlannedFile {
  std::string path;
  fs::path source;
  bool executable = false;
  uint64_t size = 0, weight = 0;
};

struct Plan {
  std::vector<std::string> folders;
  std::vector<PlannedFile> files;
};

// Bytes of the file outside whole 4 KiB blocks of zeros: what decoding it
// costs, roughly (zeros decode at memory speed and are written as holes).
uint64_t weightOf(const fs::path& path, uint64_t size) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> block(4096);
  uint64_t zeros = 0;
  while (in.read(block.data(), std::streamsize(block.size()))) {
    if (block[0] == 0 && std::memcmp(block.data(), block.data() + 1, block.size() - 1) == 0) zeros += block.size();
  }
  return size - std::min(size, zeros);
}

void planFolder(Plan& plan, const fs::path& folder, const std::string& prefix) {
  std::vector<fs::directory_entry> entries{fs::directory_iterator(folder), fs::directory_iterator()};
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.path() < b.path(); });
  for (const auto& e : entries) {
    const std::string path = prefix + e.path().filename().string();
    if (path.size() > 0xFFFF) throw std::runtime_error("A name too long for the packed runtime: " + path);
    if (e.is_symlink()) throw std::runtime_error("A link cannot be packed into the runtime: " + e.path().string());
    if (e.is_directory()) {
      plan.folders.push_back(path);
      planFolder(plan, e.path(), path + "/");
      continue;
    }
    if (!e.is_regular_file()) throw std::runtime_error("Not a file: " + e.path().string());
    PlannedFile file;
    file.path = path;
    file.source = e.path();
    file.executable = (e.status().permissions() & fs::perms::owner_exec) != fs::perms::none;
    file.size = e.file_size();
    file.weight = weightOf(e.path(), file.size);
    plan.files.push_back(std::move(file));
  }
}

// The files cut into up to `count` runs of about the same weight, in order.
std::vector<std::vector<const PlannedFile*>> split(const std::vector<PlannedFile>& files, uint32_t count) {
  uint64_t total = 0;
  for (const PlannedFile& f : files) total += f.weight;
  std::vector<std::vector<const PlannedFile*>> runs(count);
  uint64_t before = 0;
  for (const PlannedFile& f : files) {
    // Each file goes to the run its middle falls into.
    const uint64_t middle = before + f.weight / 2;
    const size_t run = total == 0 ? 0 : std::min<size_t>(count - 1, size_t(middle * count / total));
    runs[run].push_back(&f);
    before += f.weight;
  }
  runs.erase(std::remove_if(runs.begin(), runs.end(), [](const auto& r) { return r.empty(); }), runs.end());
  return runs;
}

class Writer {
 public:
  Writer(const std::string& out, int level, uint32_t frames)
      : file_(out, std::ios::binary | std::ios::trunc), context_(ZSTD_createCCtx()), sizes_(frames, 0) {
    if (!file_) throw std::runtime_error("Cannot write " + out);
    ZSTD_CCtx* c = context_.get();
    check(ZSTD_CCtx_setParameter(c, ZSTD_c_compressionLevel, level));
    check(ZSTD_CCtx_setParameter(c, ZSTD_c_windowLog, kWindowLog));
    check(ZSTD_CCtx_setParameter(c, ZSTD_c_checksumFlag, 1));
    // Several threads where the library has them; each frame is still one.
    ZSTD_CCtx_setParameter(c, ZSTD_c_nbWorkers, int(std::max(1u, std::thread::hardware_concurrency())));
    buffer_.resize(ZSTD_CStreamOutSize());
    file_.write(kMagic, kMagicSize);
    writeNumber(frames, 4);
    for (uint32_t i = 0; i < frames; ++i) writeNumber(0, 8);  // filled in at the end
  }

  void put(const void* data, size_t n) { feed(data, n, ZSTD_e_continue); }

  void number(uint64_t v, int bytes) {
    unsigned char b[8];
    for (int i = 0; i < bytes; ++i) b[i] = (unsigned char)(v >> (8 * i));
    put(b, size_t(bytes));
  }

  // Ends the current frame; the next bytes put begin another.
  void endFrame() {
    feed(nullptr, 0, ZSTD_e_end);
    sizes_.at(frame_++) = frameBytes_;
    frameBytes_ = 0;
    check(ZSTD_CCtx_reset(context_.get(), ZSTD_reset_session_only));
  }

  void finish() {
    if (frame_ != sizes_.size()) throw std::logic_error("packed runtime: frames missing");
    file_.seekp(std::streamoff(kMagicSize + 4));
    for (uint64_t size : sizes_) writeNumber(size, 8);
    file_.close();
    if (!file_) throw std::runtime_error("Cannot write the packed runtime");
  }

 private:
  static void check(size_t ret) {
    if (ZSTD_isError(ret)) throw std::runtime_error(std::string("zstd: ") + ZSTD_getErrorName(ret));
  }

  void writeNumber(uint64_t v, int bytes) {
    char b[8];
    for (int i = 0; i < bytes; ++i) b[i] = char((v >> (8 * i)) & 0xFF);
    file_.write(b, bytes);
  }

  void feed(const void* data, size_t n, ZSTD_EndDirective mode) {
    ZSTD_inBuffer in = {data, n, 0};
    while (true) {
      ZSTD_outBuffer out = {buffer_.data(), buffer_.size(), 0};
      size_t left = ZSTD_compressStream2(context_.get(), &out, &in, mode);
      check(left);
      file_.write(buffer_.data(), std::streamsize(out.pos));
      frameBytes_ += out.pos;
      if (mode == ZSTD_e_end ? left == 0 : in.pos == in.size) break;
    }
  }

  std::ofstream file_;
  std::unique_ptr<ZSTD_CCtx, CCtxFree> context_;
  std::vector<char> buffer_;
  std::vector<uint64_t> sizes_;
  size_t frame_ = 0;
  uint64_t frameBytes_ = 0;
};

void header(Writer& w, char kind, const std::string& path) {
  w.put(&kind, 1);
  w.number(path.size(), 2);
  w.put(path.data(), path.size());
}

// Whether the file is x86-64 code (an ELF object for that machine), whose
// branch targets are stored absolute.
bool isX86Code(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  unsigned char head[20] = {};
  return in.read(reinterpret_cast<char*>(head), sizeof head) &&
         std::memcmp(head,
                     "\x7f"
                     "ELF",
                     4) == 0 &&
         head[4] == 2 && head[5] == 1 && (head[18] | head[19] << 8) == 62;
}

int64_t packFile(Writer& w, const PlannedFile& file, std::vector<char>& buffer) {
  if (isX86Code(file.source)) {
    std::ifstream in(file.source, std::ios::binary);
    std::string bytes(file.size, '\0');
    if (!in.read(bytes.data(), std::streamsize(bytes.size())) || in.peek() != EOF)
      throw std::runtime_error("Cannot read " + file.source.string());
    convertBranches(bytes.data(), bytes.size(), 0, true);
    header(w, file.executable ? 'x' : 'f', file.path);
    w.number(file.size, 8);
    w.put(bytes.data(), bytes.size());
    return int64_t(file.size);
  }
  header(w, file.executable ? 'X' : 'F', file.path);
  w.number(file.size, 8);
  std::ifstream in(file.source, std::ios::binary);
  uint64_t left = file.size;
  while (left > 0 && in) {
    in.read(buffer.data(), std::streamsize(std::min<uint64_t>(left, buffer.size())));
    w.put(buffer.data(), size_t(in.gcount()));
    left -= uint64_t(in.gcount());
  }
  if (left != 0) throw std::runtime_error("Cannot read " + file.source.string());
  return int64_t(file.size);
}

}  // namespace

int64_t pack(const std::string& stage, const std::string& out, int level, const std::vector<std::string>& alone) {
  Plan plan;
  planFolder(plan, stage, "");
  // Each file asked for alone gets a frame of its own before the others, so
  // that taking it out (extract) decodes that frame only; the rest is split
  // as before.
  std::vector<std::vector<const PlannedFile*>> runs;
  std::vector<PlannedFile> rest;
  for (const PlannedFile& f : plan.files)
    if (std::find(alone.begin(), alone.end(), f.path) != alone.end())
      runs.push_back({&f});
    else
      rest.push_back(f);
  for (auto& run : split(rest, kFileFrames)) runs.push_back(std::move(run));
  Writer w(out, level, uint32_t(1 + runs.size()));
  const char end = 'E';
  for (const std::string& folder : plan.folders) header(w, 'D', folder);
  if (runs.empty()) w.put(&end, 1);
  w.endFrame();
  int64_t bytes = 0;
  std::vector<char> buffer(1 << 20);
  for (size_t r = 0; r < runs.size(); ++r) {
    for (const PlannedFile* file : runs[r]) bytes += packFile(w, *file, buffer);
    if (r + 1 == runs.size()) w.put(&end, 1);
    w.endFrame();
  }
  w.finish();
  return bytes;
}

}  // namespace runtime_pack
