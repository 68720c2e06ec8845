#include "tools/pack.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <future>
#include <memory>

#include "common/tool_error.h"
#include "medium/medium_attributes.h"
#include "tools/archive_writer.h"
#include "tools/compression_pool.h"
#include "tools/manifest.h"
#include "tools/sha256.h"
#include "tools/source_tree.h"

namespace setupkit {

namespace {

constexpr uint64_t kMaxTotalSize = 2147483647;
// Files up to this size are read, hashed and compressed by one worker: many
// small files then keep every core busy, not only the compressing part.
constexpr uint64_t kWholeFileJob = uint64_t(256) * 1024;

struct PackedFile {
  std::vector<Chunk> chunks;
  std::string sha256;
};

// Reads a file piece by piece into one buffer, hashing it, and hands each
// piece to `take(data, length)`. Returns the hash. The size must stay what
// the scan found: TotalSize is already written.
template <typename Take>
std::string readPieces(const SourceFile& file, Take&& take) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(file.hostPath.c_str(), "rb"), &std::fclose);
  if (!in) throw ToolError("Cannot read " + file.hostPath + ": " + std::strerror(errno));
  std::setvbuf(in.get(), nullptr, _IONBF, 0);
  Sha256 hash;
  uint64_t done = 0;
  std::unique_ptr<uint8_t[]> piece(new uint8_t[kPieceSize]);
  for (;;) {
    size_t n = std::fread(piece.get(), 1, kPieceSize, in.get());
    if (n == 0) {
      if (std::ferror(in.get())) throw ToolError("Cannot read " + file.hostPath + ": " + std::strerror(errno));
      break;
    }
    done += n;
    if (done > file.size) break;
    hash.update(piece.get(), n);
    take(piece.get(), n);
  }
  if (done != file.size) throw ToolError("The file changed while it was packed: " + file.hostPath);
  return hash.finishHex();
}

// A whole file's chunks and hash; stored pieces when there is no compressor.
PackedFile packWholeFile(const SourceFile& file, PieceCompressor* compressor) {
  PackedFile packed;
  packed.sha256 = readPieces(file, [&](const uint8_t* piece, size_t length) {
    if (compressor) {
      packed.chunks.push_back(compressor->compress(piece, length));
    } else {
      packed.chunks.push_back(Chunk{false, std::vector<uint8_t>(piece, piece + length)});
    }
  });
  return packed;
}

size_t pieceCount(uint64_t size) { return size_t(std::max<uint64_t>(1, (size + kPieceSize - 1) / kPieceSize)); }

// Feeds entries and their chunks to the writer in archive order while the
// work is done ahead on the pool. Work in flight is bounded (in pieces) so
// that memory stays small however large the files are.
class PackPipeline {
 public:
  using Progress = std::function<void(uint64_t)>;
  PackPipeline(ArchiveWriter& writer, Level level, unsigned threads, Progress progress)
      : writer_(writer), window_(size_t(32) * std::max(1u, threads)), progress_(std::move(progress)) {
    if (level != Level::None) pool_ = std::make_unique<CompressionPool>(level, threads);
  }

  // Queues a file; its hash is stored in *sha256 by the time it is written.
  void file(const SourceFile& file, std::string* sha256) {
    ops_.push_back(Op{Op::Begin, file.storedName, file.fileDate});
    if (file.size <= kWholeFileJob) {
      Op op{Op::WholeFile};
      op.sha256 = sha256;
      op.weight = pieceCount(file.size);
      op.bytes = file.size;
      if (pool_)
        op.packed = pool_->submit([file](PieceCompressor& c) { return packWholeFile(file, &c); });
      else
        op.ready = packWholeFile(file, nullptr);
      add(std::move(op));
    } else {
      *sha256 = readPieces(
          file, [&](const uint8_t* data, size_t length) { this->piece(std::vector<uint8_t>(data, data + length)); });
    }
    ops_.push_back(Op{Op::End});
  }

  // Queues an entry whose data is in memory.
  void bytes(const std::string& name, uint32_t fileDate, const std::string& data) {
    ops_.push_back(Op{Op::Begin, name, fileDate});
    for (size_t at = 0; at < data.size(); at += kPieceSize) {
      size_t n = std::min(data.size() - at, size_t(kPieceSize));
      piece(std::vector<uint8_t>(data.data() + at, data.data() + at + n));
    }
    ops_.push_back(Op{Op::End});
  }

  void drain() { drainUntil(0); }

 private:
  struct Op {
    enum Kind { Begin, Piece, WholeFile, End };
    explicit Op(Kind k, std::string n = {}, uint32_t date = 0) : kind(k), name(std::move(n)), fileDate(date) {}
    Kind kind;
    std::string name;
    uint32_t fileDate;
    Chunk chunk;
    std::future<Chunk> future;
    std::future<PackedFile> packed;
    PackedFile ready;
    std::string* sha256 = nullptr;
    size_t weight = 1;
    uint64_t bytes = 0;  // file data the op writes
  };

  void piece(std::vector<uint8_t> data) {
    Op op{Op::Piece};
    op.bytes = data.size();
    if (pool_)
      op.future = pool_->submit(std::move(data));
    else
      op.chunk.data = std::move(data);
    add(std::move(op));
  }

  void add(Op op) {
    inFlight_ += op.weight;
    ops_.push_back(std::move(op));
    if (inFlight_ > window_) drainUntil(window_);
  }

  void drainUntil(size_t limit) {
    while (!ops_.empty() && (inFlight_ > limit || ops_.front().kind == Op::Begin || ops_.front().kind == Op::End)) {
      Op op = std::move(ops_.front());
      ops_.pop_front();
      switch (op.kind) {
        case Op::Begin: writer_.beginEntry(op.name, op.fileDate); break;
        case Op::Piece: writer_.writeChunk(op.future.valid() ? op.future.get() : op.chunk); break;
        case Op::WholeFile: {
          PackedFile packed = op.packed.valid() ? op.packed.get() : std::move(op.ready);
          for (const auto& chunk : packed.chunks) writer_.writeChunk(chunk);
          *op.sha256 = packed.sha256;
          break;
        }
        case Op::End: writer_.endEntry(); break;
      }
      if (op.kind == Op::Piece || op.kind == Op::WholeFile) {
        inFlight_ -= op.weight;
        written_ += op.bytes;
        if (progress_) progress_(written_);
      }
    }
  }

  ArchiveWriter& writer_;
  size_t window_;
  size_t inFlight_ = 0;
  std::deque<Op> ops_;
  Progress progress_;
  uint64_t written_ = 0;
  std::unique_ptr<CompressionPool> pool_;  // destroyed first: its workers finish before ops_ goes
};

// Writes the attributes file under a temporary name and renames it.
void writeAttributesFile(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".tmp";
  std::FILE* out = std::fopen(temporary.c_str(), "wb");
  bool written = out && std::fwrite(text.data(), 1, text.size(), out) == text.size();
  if (out && std::fclose(out) != 0) written = false;
  if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
    const std::string reason = std::strerror(errno);
    std::remove(temporary.c_str());
    throw ToolError("Cannot write " + path + ": " + reason);
  }
}

}  // namespace

PackResult pack(const PackOptions& options) {
  if (options.sources.empty()) throw ToolError("Nothing to pack: no source given");
  SourceScan scan = scanSources(options.sources, options.links);
  if (scan.totalSize > kMaxTotalSize)
    throw ToolError("The files hold " + std::to_string(scan.totalSize) +
                    " bytes; an archive holds at most 2147483647 bytes of files");
  if (scan.totalSize == 0) throw ToolError("Nothing to pack: the sources hold no file data");

  PackResult result;
  result.warnings = scan.warnings;
  if (options.flatWarnings)
    for (const auto& clash : scan.flatClashes)
      result.warnings.push_back(clash + " restore to the same file in a flat restore");
  if (options.attributes.empty()) {
    for (const auto& link : scan.links)
      result.warnings.push_back("Skipped " + link.hostPath + ": a symbolic link (to " + link.target +
                                "); without an attributes file the installer will not make it");
    for (const auto& folder : scan.folders)
      result.warnings.push_back("Skipped " + folder +
                                ": an empty folder; without an attributes file the installer will not make it");
  } else {
    result.links = scan.links.size();
    result.folders = scan.folders.size();
  }
  result.files = scan.files.size();
  result.totalSize = scan.totalSize;

  ArchiveWriter writer(options.archive, options.volumeSize, options.firstVolumeSize);
  writer.writeHeader(options.headerText, int32_t(scan.totalSize), 0);
  std::vector<ManifestLine> manifest(scan.files.size());
  {
    const unsigned threads = options.threads ? options.threads : defaultThreadCount();
    PackPipeline::Progress progress;
    // The file list is written after the files and is not counted.
    if (options.progress)
      progress = [&](uint64_t done) { options.progress(std::min<uint64_t>(done, scan.totalSize), scan.totalSize); };
    PackPipeline pipeline(writer, options.level, threads, std::move(progress));
    uint32_t newest = 0;
    for (size_t i = 0; i < scan.files.size(); ++i) {
      const SourceFile& file = scan.files[i];
      manifest[i] = ManifestLine{file.size, {}, file.storedName};
      pipeline.file(file, &manifest[i].sha256);
      newest = std::max(newest, file.fileDate);
    }
    pipeline.drain();
    // The list's date is the newest file's, so that packing the same tree
    // twice gives the same bytes.
    if (options.fileList) pipeline.bytes(kFileListName, newest, formatManifest(manifest));
    pipeline.drain();
  }
  writer.finish();
  // The attributes go in place before the archive: a medium whose archive
  // is new never has an older attributes file beside it.
  if (!options.attributes.empty()) {
    medium::Attributes attributes;
    attributes.groupWrite = options.groupWrite;
    for (size_t i = 0; i < scan.files.size(); ++i) {
      medium::FileAttributes& file = attributes.files[scan.files[i].storedName];
      file.mode = medium::keptMode(scan.files[i].mode, options.groupWrite);
      file.size = scan.files[i].size;
      digest::parseHex(manifest[i].sha256, file.sha256);
    }
    for (const auto& link : scan.links) attributes.links.push_back({link.storedName, link.target});
    attributes.folders = scan.folders;
    writeAttributesFile(options.attributes, medium::formatAttributes(attributes));
    result.attributes = options.attributes;
  }
  result.staleRemoved = writer.commit();
  result.volumes = writer.volumePaths();
  result.archiveBytes = writer.bytesWritten();
  return result;
}

}  // namespace setupkit
