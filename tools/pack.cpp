#include "tools/pack.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <future>
#include <memory>

#include "tools/archive_writer.h"
#include "tools/compression_pool.h"
#include "tools/manifest.h"
#include "tools/sha256.h"
#include "tools/source_tree.h"
#include "tools/tool_error.h"

namespace setupkit {

namespace {

constexpr uint64_t kMaxTotalSize = 2147483647;

// Feeds entries and their pieces to the writer in archive order while the
// pieces are compressed ahead on the pool. Pieces in flight are bounded so
// that memory stays small however large the files are.
class PackPipeline {
 public:
  PackPipeline(ArchiveWriter& writer, Level level, unsigned threads)
      : writer_(writer), level_(level), window_(32 * std::max(1u, threads)) {
    if (level != Level::None) pool_ = std::make_unique<CompressionPool>(level, threads);
  }

  void beginEntry(const std::string& name, uint32_t fileDate) { ops_.push_back(Op{Op::Begin, name, fileDate, {}, {}}); }

  void piece(std::vector<uint8_t> data) {
    Op op{Op::Piece, {}, 0, {}, {}};
    if (pool_) {
      op.future = pool_->submit(std::move(data));
    } else {
      op.chunk.data = std::move(data);
    }
    ops_.push_back(std::move(op));
    if (++inFlight_ > window_) drainUntil(window_);
  }

  void endEntry() { ops_.push_back(Op{Op::End, {}, 0, {}, {}}); }

  void drain() { drainUntil(0); }

 private:
  struct Op {
    enum Kind { Begin, Piece, End } kind;
    std::string name;
    uint32_t fileDate;
    Chunk chunk;
    std::future<Chunk> future;
  };

  void drainUntil(size_t pieces) {
    while (!ops_.empty() && (inFlight_ > pieces || ops_.front().kind != Op::Piece)) {
      Op op = std::move(ops_.front());
      ops_.pop_front();
      switch (op.kind) {
        case Op::Begin: writer_.beginEntry(op.name, op.fileDate); break;
        case Op::Piece:
          --inFlight_;
          writer_.writeChunk(op.future.valid() ? op.future.get() : op.chunk);
          break;
        case Op::End: writer_.endEntry(); break;
      }
    }
  }

  ArchiveWriter& writer_;
  Level level_;
  size_t window_;
  size_t inFlight_ = 0;
  std::deque<Op> ops_;
  std::unique_ptr<CompressionPool> pool_;  // destroyed first: its workers finish before ops_ goes
};

// Reads one file in pieces into the pipeline and returns its manifest line.
// The size must stay what the scan found: TotalSize is already written.
ManifestLine packFile(PackPipeline& pipeline, const SourceFile& file) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(file.hostPath.c_str(), "rb"), &std::fclose);
  if (!in) throw ToolError("Cannot read " + file.hostPath + ": " + std::strerror(errno));
  std::setvbuf(in.get(), nullptr, _IONBF, 0);
  pipeline.beginEntry(file.storedName, file.fileDate);
  Sha256 hash;
  uint64_t done = 0;
  for (;;) {
    std::vector<uint8_t> piece(kPieceSize);
    size_t n = std::fread(piece.data(), 1, piece.size(), in.get());
    if (n == 0) {
      if (std::ferror(in.get())) throw ToolError("Cannot read " + file.hostPath + ": " + std::strerror(errno));
      break;
    }
    done += n;
    if (done > file.size) break;
    piece.resize(n);
    hash.update(piece.data(), n);
    pipeline.piece(std::move(piece));
  }
  if (done != file.size) throw ToolError("The file changed while it was packed: " + file.hostPath);
  pipeline.endEntry();
  return ManifestLine{file.size, hash.finishHex(), file.storedName};
}

void packBytes(PackPipeline& pipeline, const std::string& name, uint32_t fileDate, const std::string& bytes) {
  pipeline.beginEntry(name, fileDate);
  for (size_t at = 0; at < bytes.size(); at += kPieceSize) {
    size_t n = std::min(bytes.size() - at, size_t(kPieceSize));
    pipeline.piece(std::vector<uint8_t>(bytes.begin() + at, bytes.begin() + at + n));
  }
  pipeline.endEntry();
}

}  // namespace

PackResult pack(const PackOptions& options) {
  if (options.sources.empty()) throw ToolError("Nothing to pack: no source given");
  SourceScan scan = scanSources(options.sources);
  if (scan.totalSize > kMaxTotalSize)
    throw ToolError("The files hold " + std::to_string(scan.totalSize) +
                    " bytes; an archive holds at most 2147483647 bytes of files");
  if (scan.totalSize == 0) throw ToolError("Nothing to pack: the sources hold no file data");

  PackResult result;
  result.warnings = scan.warnings;
  result.files = scan.files.size();
  result.totalSize = scan.totalSize;

  ArchiveWriter writer(options.archive, options.volumeSize);
  writer.writeHeader(options.headerText, int32_t(scan.totalSize), 0);
  std::vector<ManifestLine> manifest;
  {
    const unsigned threads = options.threads ? options.threads : defaultThreadCount();
    PackPipeline pipeline(writer, options.level, threads);
    uint32_t newest = 0;
    for (const auto& file : scan.files) {
      manifest.push_back(packFile(pipeline, file));
      newest = std::max(newest, file.fileDate);
    }
    // The list's date is the newest file's, so that packing the same tree
    // twice gives the same bytes.
    if (options.fileList) packBytes(pipeline, kFileListName, newest, formatManifest(manifest));
    pipeline.drain();
  }
  writer.finish();
  result.staleRemoved = writer.commit();
  result.volumes = writer.volumePaths();
  result.archiveBytes = writer.bytesWritten();
  return result;
}

}  // namespace setupkit
