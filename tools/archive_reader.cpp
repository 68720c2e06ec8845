#include "tools/archive_reader.h"

#include "engine/archive_format.h"
#include "engine/record_reader.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <future>
#include <memory>

#include "common/host_paths.h"
#include "common/printable.h"
#include "common/tool_error.h"
#include "medium/volume_search.h"
#include "platform/file_window.h"
#include "platform/paths.h"
#include "tools/chunk_decoder.h"
#include "tools/compression_pool.h"
#include "tools/piece_compressor.h"
#include "tools/sha256.h"

namespace setupkit {

namespace {

// Damage after which the rest of the archive cannot be read.
struct Fatal {
  Location at;
  std::string message;
};

// One volume, read forward, with its size known so that lengths that run
// past its end are caught before anything is allocated for them.
class Volume {
 public:
  Volume(const std::string& path, int number) : number_(number) {
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_) return;
    std::setvbuf(file_, nullptr, _IOFBF, 1 << 18);
    std::error_code ec;
    size_ = int64_t(std::filesystem::file_size(path, ec));
    // The archive inside a one-file installer: its stretch of the file.
    if (auto window = platform::fileWindowOf(path)) {
      if (fseeko(file_, off_t(window->offset), SEEK_SET) != 0) {
        std::fclose(file_);
        file_ = nullptr;
        return;
      }
      size_ = window->length;
    }
  }
  ~Volume() {
    if (file_) std::fclose(file_);
  }
  Volume(const Volume&) = delete;
  Volume& operator=(const Volume&) = delete;

  bool open() const { return file_ != nullptr; }
  Location here() const { return {number_, position_}; }
  int64_t remaining() const { return size_ - position_; }

  void read(void* buffer, int64_t length, const char* what) {
    if (length > remaining() || std::fread(buffer, 1, size_t(length), file_) != size_t(length))
      throw Fatal{here(), std::string("the volume ends inside ") + what};
    position_ += length;
  }
  int32_t readInt32(const char* what) {
    uint8_t b[4];
    read(b, 4, what);
    return int32_t(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
  }

  // As a source of the record reader: damage is reported where the header or
  // record that holds it begins, and text that runs past the end of the
  // volume is refused before anything is allocated for it.
  int64_t offset() {
    start_ = here();
    return position_;
  }
  void readBytes(void* buffer, int64_t length, const char* what) { read(buffer, length, what); }
  std::string readText(int32_t length, const char* what) {
    if (length > remaining()) throw Fatal{start_, std::string(what) + " runs past the end of the volume"};
    std::string text(size_t(length), '\0');
    read(text.data(), length, what);
    return text;
  }
  [[noreturn]] void refuse(const char* problem) { throw Fatal{start_, problem}; }

 private:
  std::FILE* file_ = nullptr;
  Location start_;  // where the header or record being read began
  int number_;
  int64_t position_ = 0;
  int64_t size_ = 0;
};

// Chunks as they are read, ahead of their decoding: a batch of them is
// decoded on every core, then taken in archive order (sizes, problems,
// hashes), so the result is the one of decoding them one by one. Decoding
// is most of the reading's time; the reader fills one batch while the
// other is decoded.
class ChunkBatch {
 public:
  static constexpr size_t kChunks = 64;

  struct Event {
    enum What { Chunk, Oversized, EntryEnd } what;
    Location at;
    int entry;             // -1: a continuation block without an entry
    int32_t lengthField;   // Chunk: > 0 compressed, < 0 stored
    size_t slot = 0;       // Chunk: where its bytes are
    DecodedChunk decoded;  // Chunk, compressed: filled by decode()
  };

  ChunkBatch() : threads_(defaultThreadCount()), in_(kChunks * kPieceSize), out_(kChunks * kPieceSize) {}

  bool full() const { return used_ == kChunks; }
  bool empty() const { return events_.empty(); }

  // Room for the next chunk's bytes; add() it once they are read.
  uint8_t* nextInput() { return &in_[used_ * kPieceSize]; }
  void add(const Location& at, int entry, int32_t lengthField) {
    events_.push_back(Event{Event::Chunk, at, entry, lengthField, used_++, {}});
  }
  void addOversized(const Location& at, int entry, int32_t lengthField) {
    events_.push_back(Event{Event::Oversized, at, entry, lengthField, 0, {}});
  }
  void addEntryEnd(int entry) { events_.push_back(Event{Event::EntryEnd, {}, entry, 0, 0, {}}); }

  // Decodes the compressed chunks, spread over the threads.
  void decode() {
    std::vector<Event*> work;
    for (auto& e : events_)
      if (e.what == Event::Chunk && e.lengthField > 0) work.push_back(&e);
    auto part = [&](size_t first) {
      for (size_t i = first; i < work.size(); i += threads_)
        work[i]->decoded = decodeChunk(&in_[work[i]->slot * kPieceSize], size_t(work[i]->lengthField),
                                       &out_[work[i]->slot * kPieceSize]);
    };
    std::vector<std::future<void>> others;
    for (size_t t = 1; t < threads_ && t < work.size(); ++t) others.push_back(std::async(std::launch::async, part, t));
    part(0);
    for (auto& f : others) f.get();
  }

  const std::vector<Event>& events() const { return events_; }
  const uint8_t* bytes(const Event& e) const {
    return e.lengthField > 0 ? &out_[e.slot * kPieceSize] : &in_[e.slot * kPieceSize];
  }

  void clear() {
    events_.clear();
    used_ = 0;
  }

 private:
  size_t threads_;
  std::vector<uint8_t> in_, out_;
  size_t used_ = 0;
  std::vector<Event> events_;
};

class Reader {
 public:
  Reader(const std::string& firstVolume, const std::vector<std::string>& media, ArchiveInfo& info)
      : first_(firstVolume), media_(media), info_(info) {}

  void run() {
    std::error_code ec;
    if (std::filesystem::is_directory(first_, ec)) throw ArchiveNotFound(printable(first_), "Is a directory");
    volume_ = std::make_unique<Volume>(first_, 1);
    if (!volume_->open())
      throw errno == ENOENT ? ArchiveNotFound(printable(first_))
                            : ArchiveNotFound(printable(first_), std::strerror(errno));
    info_.volumes.push_back(first_);
    info_.volumeNumbers.push_back(1);
    try {
      readHeader();
      readEntries();
    } catch (const Fatal& f) {
      problem(f.at, f.message);
    }
    takeAll();
  }

 private:
  // Problems are recorded in archive order: the chunks read before go first.
  void problem(const Location& at, const std::string& message) {
    takeAll();
    info_.problems.push_back(Problem{at, current_, message});
  }

  void readHeader() {
    archive_format::Header header = archive_format::RecordReader(*volume_).header();
    info_.headerText = std::move(header.text);
    info_.totalSize = header.totalSize;
    info_.headerExtra = header.extra;
  }

  void readEntries() {
    using archive_format::Record;
    for (;;) {
      archive_format::RecordReader records(*volume_);
      const Location at = volume_->here();
      Record record = records.next();
      if (record.kind == Record::Kind::End) {
        info_.complete = true;
        return;
      }
      if (record.kind == Record::Kind::Filler) {
        info_.entries.push_back(EntryInfo{EntryKind::Filler, at, {}, 0, 0, 0, 0, {}, {}});
        continue;
      }
      if (record.kind == Record::Kind::VolumeChange) {
        info_.entries.push_back(EntryInfo{EntryKind::VolumeChange, at, record.name, 0, 0, 0, 0, {}, {}});
        changeVolume(at, record.nextVolume);
        continue;
      }
      EntryInfo entry;
      entry.kind = record.kind == Record::Kind::FileList ? EntryKind::FileList : EntryKind::File;
      entry.at = at;
      entry.name = std::move(record.name);
      entry.fileDate = records.fileDate();
      info_.entries.push_back(std::move(entry));
      current_ = int(info_.entries.size()) - 1;
      if (info_.entries[current_].kind == EntryKind::File && !isDrivePath(info_.entries[current_].name))
        problem(at, "the stored name is not a drive-letter path");
      readBlock();
      finishEntry();
    }
  }

  static bool isDrivePath(const std::string& name) {
    return name.size() >= 4 && std::isalpha((unsigned char)name[0]) && name[1] == ':' && name[2] == '\\';
  }

  void changeVolume(const Location& at, int number) {
    if (number == 0) throw Fatal{at, "the volume-change entry has no valid volume number"};
    // A volume can only lead to a later one; an earlier or the same number
    // would repeat volumes for ever.
    if (!archive_format::volumeFollows(volume_->here().volume, number))
      throw Fatal{at, "the volume-change entry names volume " + std::to_string(number) +
                          ", which does not follow volume " + std::to_string(volume_->here().volume)};
    if (current_ < 0) problem(at, "a volume change precedes the first file entry");
    std::string path = volumeHostPath(first_, number);
    auto found = findHostFile(path);
    if (!found) found = elsewhere(number);
    if (!found) throw Fatal{at, "the next volume " + hostFileName(path) + " is missing"};
    volume_ = std::make_unique<Volume>(*found, number);
    if (!volume_->open()) throw Fatal{at, "the next volume " + *found + " cannot be read"};
    info_.volumes.push_back(*found);
    info_.volumeNumbers.push_back(number);
    // The continuation block belongs to the last entry read before.
    readBlock();
    if (current_ >= 0) finishEntry();
  }

  void readBlock() {
    const Location at = volume_->here();
    archive_format::RecordReader block(*volume_);
    if (!block.blockStarts()) throw Fatal{at, "the data block signature is not \"EC2\""};
    for (;;) {
      const Location chunkAt = volume_->here();
      const archive_format::ChunkHead chunk = block.chunk();
      const int32_t k = chunk.field;
      if (chunk.end()) return;
      const int64_t length = chunk.length;
      if (length > volume_->remaining()) throw Fatal{chunkAt, "a chunk runs past the end of the volume"};
      if (length > kPieceSize) {
        filling().addOversized(chunkAt, current_, k);
        std::vector<uint8_t> skip(static_cast<size_t>(length));
        volume_->read(skip.data(), length, "a chunk");
        continue;
      }
      volume_->read(filling().nextInput(), length, "a chunk");
      filling().add(chunkAt, current_, k);
      if (filling().full()) passOn();
    }
  }

  // The hash covers every block of the entry read so far; a copy is taken
  // (when the batch is taken) so that a continuation block can still extend it.
  void finishEntry() { filling().addEntryEnd(current_); }

  ChunkBatch& filling() { return batches_[filling_]; }

  // Starts decoding the full batch on other threads and takes the one
  // before it meanwhile; the reader goes on with the free batch.
  void passOn() {
    ChunkBatch& full = filling();
    std::future<void> decoding = std::async(std::launch::async, [&full] { full.decode(); });
    takeDecoded();
    decoding_ = std::move(decoding);
    filling_ = 1 - filling_;
  }

  // Takes the batch being decoded, if any.
  void takeDecoded() {
    if (!decoding_.valid()) return;
    decoding_.get();
    take(batches_[1 - filling_]);
  }

  // Takes every chunk read so far.
  void takeAll() {
    takeDecoded();
    if (filling().empty()) return;
    filling().decode();
    take(filling());
  }

  // Counts the decoded chunks into their entries, in archive order.
  void take(ChunkBatch& batch) {
    for (const auto& event : batch.events()) {
      if (event.entry >= 0 && event.entry != hashed_) {
        hash_ = Sha256();
        hashed_ = event.entry;
      }
      if (event.what == ChunkBatch::Event::EntryEnd) {
        Sha256 copy = hash_;
        info_.entries[event.entry].sha256 = copy.finishHex();
        continue;
      }
      const int64_t length = event.lengthField < 0 ? -int64_t(event.lengthField) : int64_t(event.lengthField);
      if (event.what == ChunkBatch::Event::Oversized) {
        record(event, "a chunk of " + std::to_string(length) + " bytes exceeds " + std::to_string(kPieceSize));
        continue;
      }
      size_t produced = size_t(length);
      if (event.lengthField > 0) {
        if (!event.decoded.problem.empty()) record(event, event.decoded.problem);
        produced = event.decoded.produced;
      }
      if (event.entry < 0) continue;  // a continuation block without an entry
      const uint8_t* bytes = batch.bytes(event);
      EntryInfo& e = info_.entries[event.entry];
      e.fileSize += produced;
      e.storedSize += uint64_t(length);
      ++e.chunks;
      hash_.update(bytes, produced);
      if (e.kind == EntryKind::FileList) e.data.append(reinterpret_cast<const char*>(bytes), produced);
    }
    batch.clear();
  }

  void record(const ChunkBatch::Event& event, const std::string& message) {
    info_.problems.push_back(Problem{event.at, event.entry, message});
  }

  // Volume `number` in its disk's folder or a folder of `media_`.
  std::optional<std::string> elsewhere(int number) const {
    std::vector<std::string> folders;
    for (const auto& f : media_)
      if (auto w = platform::virtualPathOf(std::filesystem::absolute(f).lexically_normal().string()))
        folders.push_back(*w);
    auto first = platform::virtualPathOf(std::filesystem::absolute(first_).lexically_normal().string());
    if (!first) return std::nullopt;
    auto found = TVolumeSearch(*first, folders).find(number);
    return found ? platform::hostPathOf(*found) : std::nullopt;
  }

  std::string first_;
  std::vector<std::string> media_;
  ArchiveInfo& info_;
  std::unique_ptr<Volume> volume_;
  int current_ = -1;  // entry whose data is being read
  ChunkBatch batches_[2];
  int filling_ = 0;             // the batch chunks are read into
  std::future<void> decoding_;  // of the other batch, while valid
  Sha256 hash_;
  int hashed_ = -1;  // the entry hash_ is of
};

}  // namespace

ArchiveInfo readArchive(const std::string& firstVolume, const std::vector<std::string>& media) {
  ArchiveInfo info;
  auto reader = std::make_unique<Reader>(firstVolume, media, info);
  reader->run();
  return info;
}

std::string describeLocation(const ArchiveInfo& info, const Location& at) {
  std::string volume = volumeNumberText(at.volume);
  for (size_t i = 0; i < info.volumeNumbers.size(); ++i)
    if (info.volumeNumbers[i] == at.volume) volume = hostFileName(info.volumes[i]);
  return "volume " + std::to_string(at.volume) + " (" + volume + ") offset " + std::to_string(at.offset);
}

}  // namespace setupkit
