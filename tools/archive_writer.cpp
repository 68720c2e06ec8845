#include "tools/archive_writer.h"

#include "engine/archive_format.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>

#include "common/host_paths.h"
#include "common/tool_error.h"

namespace fs = std::filesystem;

namespace setupkit {

namespace {

constexpr int64_t kBlockEnd = 4;  // the zero ChunkLength
// The size of a volume-change record: NameLength, the prefix and three digits.
constexpr int64_t kVolumeChange = 4 + int64_t(archive_format::kVolumeChangePrefix.size()) + 3;
constexpr int64_t kEmptyBlock = 8;  // signature and zero ChunkLength
constexpr int kMaxVolumes = archive_format::kLastVolume;

std::string temporaryNameFor(const std::string& target) {
  static std::mt19937_64 random{std::random_device{}()};
  fs::path p(target);
  return (p.parent_path() / ("." + p.filename().string() + "." + std::to_string(random() % 1000000000) + ".tmp"))
      .string();
}

}  // namespace

ArchiveWriter::ArchiveWriter(std::string firstVolume, int64_t volumeSize, int64_t firstVolumeSize)
    : firstVolume_(std::move(firstVolume)),
      limit_(volumeSize > 0 ? volumeSize : std::numeric_limits<int64_t>::max() / 2),
      firstLimit_(firstVolumeSize > 0 ? std::min(firstVolumeSize, limit_) : limit_), buffer_(1 << 20) {
  std::error_code ec;
  fs::path parent = fs::path(firstVolume_).parent_path();
  if (!parent.empty()) fs::create_directories(parent, ec);
  openVolume();
}

ArchiveWriter::~ArchiveWriter() {
  if (file_) std::fclose(file_);
  if (committed_) return;
  std::error_code ec;
  for (const auto& t : temporaries_) fs::remove(t, ec);
}

std::vector<std::string> ArchiveWriter::volumePaths() const {
  std::vector<std::string> paths;
  for (size_t i = 0; i < temporaries_.size(); ++i)
    paths.push_back(i == 0 ? firstVolume_ : volumeHostPath(firstVolume_, int(i + 1)));
  return paths;
}

void ArchiveWriter::openVolume() {
  if (int(temporaries_.size()) == kMaxVolumes)
    throw ToolError("The archive needs more than 999 volumes; choose a larger volume size");
  std::string target = temporaries_.empty() ? firstVolume_ : volumeHostPath(firstVolume_, int(temporaries_.size() + 1));
  std::string temporary = temporaryNameFor(target);
  file_ = std::fopen(temporary.c_str(), "wb");
  if (!file_) throw ToolError("Cannot create " + target + ": " + std::strerror(errno));
  std::setvbuf(file_, buffer_.data(), _IOFBF, buffer_.size());
  temporaries_.push_back(temporary);
  used_ = 0;
}

void ArchiveWriter::closeVolume() {
  std::FILE* f = file_;
  file_ = nullptr;
  if (std::fclose(f) != 0) throw ToolError("Cannot write " + volumePaths().back() + ": " + std::strerror(errno));
}

void ArchiveWriter::put(const void* data, size_t length) {
  if (std::fwrite(data, 1, length, file_) != length)
    throw ToolError("Cannot write " + volumePaths().back() + ": " + std::strerror(errno));
  used_ += int64_t(length);
  written_ += int64_t(length);
}

void ArchiveWriter::putInt32(int32_t value) {
  uint32_t v = uint32_t(value);
  uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  put(b, 4);
}

void ArchiveWriter::tooSmall(int64_t needed) const {
  throw ToolError("The volume size " + std::to_string(limit()) + " is too small: a volume must hold at least " +
                  std::to_string(needed) + " bytes here");
}

void ArchiveWriter::writeHeader(const std::string& headerText, int32_t totalSize, int32_t headerExtra) {
  if (headerText.size() > size_t(std::numeric_limits<int32_t>::max())) throw ToolError("The header text is too long");
  putInt32(int32_t(headerText.size()));
  put(headerText.data(), headerText.size());
  putInt32(totalSize);
  putInt32(headerExtra);
  // Room for at least the volume change or end marker that must follow.
  if (used_ + kVolumeChange > limit()) tooSmall(used_ + kVolumeChange);
}

int64_t ArchiveWriter::entryRecordSize(const PendingEntry& e) const {
  return 4 + int64_t(e.name.size()) + 4 + int64_t(sizeof archive_format::kBlockSignature);
}

void ArchiveWriter::writeEntryRecord(const PendingEntry& e) {
  putInt32(int32_t(e.name.size()));
  put(e.name.data(), e.name.size());
  putInt32(int32_t(e.fileDate));
  put(archive_format::kBlockSignature, sizeof archive_format::kBlockSignature);
  inBlock_ = true;
  anyEntry_ = true;
}

// Makes room for the pending entry's record and its first item (a chunk, or
// the block end of an empty file) plus the reserve that lets the volume still
// be closed afterwards; cuts the volume first when they do not fit.
void ArchiveWriter::ensureRoomForEntry(int64_t firstItem) {
  const int64_t needed = entryRecordSize(*pending_) + firstItem + kBlockEnd + kVolumeChange;
  if (used_ + needed <= limit()) return;
  // Nothing may precede the first entry's record but the header.
  if (!anyEntry_) tooSmall(used_ + needed);
  cutBetweenEntries();
  if (used_ + needed > limit()) tooSmall(used_ + needed);
}

void ArchiveWriter::beginEntry(const std::string& name, uint32_t fileDate) {
  // A NUL would end the name on the host: the archive would name one file
  // and a restore write another.
  if (name.empty() || name.size() > size_t(std::numeric_limits<int32_t>::max()) || name.find('\0') != std::string::npos)
    throw ToolError("Invalid stored name");
  pending_ = PendingEntry{name, fileDate};
}

void ArchiveWriter::writeChunk(const Chunk& chunk) {
  const int64_t size = 4 + int64_t(chunk.data.size());
  if (pending_) {
    ensureRoomForEntry(size);
    writeEntryRecord(*pending_);
    pending_.reset();
  } else if (used_ + size + kBlockEnd + kVolumeChange > limit()) {
    cutInsideBlock();
    if (used_ + size + kBlockEnd + kVolumeChange > limit()) tooSmall(used_ + size + kBlockEnd + kVolumeChange);
  }
  int32_t length = int32_t(chunk.data.size());
  putInt32(chunk.compressed ? length : -length);
  put(chunk.data.data(), chunk.data.size());
}

void ArchiveWriter::endEntry() {
  if (pending_) {
    ensureRoomForEntry(0);
    writeEntryRecord(*pending_);
    pending_.reset();
  }
  putInt32(0);
  inBlock_ = false;
}

// Ends the volume with a volume-change entry naming the next one, opens that
// one and starts its continuation data block.
void ArchiveWriter::changeVolume() {
  std::string name = std::string(archive_format::kVolumeChangePrefix) + volumeNumberText(int(temporaries_.size() + 1));
  putInt32(int32_t(name.size()));
  put(name.data(), name.size());
  closeVolume();
  openVolume();
  put(archive_format::kBlockSignature, sizeof archive_format::kBlockSignature);
}

void ArchiveWriter::cutBetweenEntries() {
  // A continuation volume always starts with a data block, empty here.
  changeVolume();
  putInt32(0);
  if (used_ + kVolumeChange > limit()) tooSmall(kEmptyBlock + kVolumeChange);
}

void ArchiveWriter::cutInsideBlock() {
  putInt32(0);
  changeVolume();
}

void ArchiveWriter::finish() {
  if (pending_ || inBlock_) throw ToolError("Internal error: an entry is still open");
  putInt32(0);
  closeVolume();
}

std::vector<std::string> ArchiveWriter::commit() {
  if (file_) throw ToolError("Internal error: the archive was not finished");
  auto finals = volumePaths();
  std::error_code ec;
  for (size_t i = finals.size(); i-- > 0;) {
    fs::rename(temporaries_[i], finals[i], ec);
    if (ec) throw ToolError("Cannot create " + finals[i] + ": " + ec.message());
    temporaries_[i].clear();
  }
  committed_ = true;
  // Continuation volumes of an earlier, longer archive of the same name would
  // otherwise lie beside the new one as if they belonged to it.
  std::vector<std::string> removed;
  for (int n = int(finals.size()) + 1; n <= kMaxVolumes; ++n) {
    std::string stale = volumeHostPath(firstVolume_, n);
    if (!fs::is_regular_file(stale, ec) || !fs::remove(stale, ec)) break;
    removed.push_back(stale);
  }
  return removed;
}

}  // namespace setupkit
