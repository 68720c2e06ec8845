#include "tools/archive_reader.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "platform/file_window.h"
#include "tools/chunk_decoder.h"
#include "tools/host_paths.h"
#include "tools/piece_compressor.h"
#include "tools/sha256.h"
#include "tools/tool_error.h"

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

 private:
  std::FILE* file_ = nullptr;
  int number_;
  int64_t position_ = 0;
  int64_t size_ = 0;
};

class Reader {
 public:
  Reader(const std::string& firstVolume, ArchiveInfo& info) : first_(firstVolume), info_(info) {}

  void run() {
    volume_ = std::make_unique<Volume>(first_, 1);
    if (!volume_->open()) throw ArchiveNotFound(first_);
    info_.volumes.push_back(first_);
    info_.volumeNumbers.push_back(1);
    try {
      readHeader();
      readEntries();
    } catch (const Fatal& f) {
      problem(f.at, f.message);
    }
  }

 private:
  void problem(const Location& at, const std::string& message) {
    info_.problems.push_back(Problem{at, current_, message});
  }

  void readHeader() {
    int32_t textLength = volume_->readInt32("the header");
    if (textLength < 0) throw Fatal{{1, 0}, "the header text length is negative"};
    if (textLength > volume_->remaining()) throw Fatal{{1, 0}, "the header text runs past the end of the volume"};
    info_.headerText.resize(size_t(textLength));
    volume_->read(info_.headerText.data(), textLength, "the header");
    info_.totalSize = volume_->readInt32("the header");
    info_.headerExtra = volume_->readInt32("the header");
  }

  void readEntries() {
    for (;;) {
      const Location at = volume_->here();
      int32_t nameLength = volume_->readInt32("the entries (no end marker)");
      if (nameLength == 0) {
        info_.complete = true;
        return;
      }
      if (nameLength < 0) {
        info_.entries.push_back(EntryInfo{EntryKind::Filler, at, {}, 0, 0, 0, 0, {}, {}});
        continue;
      }
      if (nameLength > volume_->remaining()) throw Fatal{at, "the entry name runs past the end of the volume"};
      std::string name(size_t(nameLength), '\0');
      volume_->read(name.data(), nameLength, "an entry name");

      if (name.compare(0, 9, "NEXT:DISK") == 0) {
        info_.entries.push_back(EntryInfo{EntryKind::VolumeChange, at, name, 0, 0, 0, 0, {}, {}});
        changeVolume(at, name);
        continue;
      }
      EntryInfo entry;
      entry.kind = name == "FILE:LIST" ? EntryKind::FileList : EntryKind::File;
      entry.at = at;
      entry.name = name;
      entry.fileDate = volume_->readInt32("an entry record");
      info_.entries.push_back(std::move(entry));
      current_ = int(info_.entries.size()) - 1;
      if (info_.entries[current_].kind == EntryKind::File && !isDrivePath(name))
        problem(at, "the stored name is not a drive-letter path");
      hash_ = Sha256();
      readBlock();
      finishEntry();
    }
  }

  static bool isDrivePath(const std::string& name) {
    return name.size() >= 4 && std::isalpha((unsigned char)name[0]) && name[1] == ':' && name[2] == '\\';
  }

  void changeVolume(const Location& at, const std::string& name) {
    std::string digits = name.substr(9, 3);
    if (digits.size() != 3 || digits.find_first_not_of("0123456789") != std::string::npos || digits == "000")
      throw Fatal{at, "the volume-change entry has no valid volume number"};
    if (current_ < 0) problem(at, "a volume change precedes the first file entry");
    int number = std::stoi(digits);
    std::string path = volumeHostPath(first_, number);
    auto found = findHostFile(path);
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
    char signature[4];
    volume_->read(signature, 4, "a data block signature");
    if (std::memcmp(signature, "EC2\0", 4) != 0) throw Fatal{at, "the data block signature is not \"EC2\""};
    for (;;) {
      const Location chunkAt = volume_->here();
      int32_t k = volume_->readInt32("a data block");
      if (k == 0) return;
      int64_t length = k < 0 ? -int64_t(k) : int64_t(k);
      if (length > volume_->remaining()) throw Fatal{chunkAt, "a chunk runs past the end of the volume"};
      if (length > kPieceSize) {
        problem(chunkAt, "a chunk of " + std::to_string(length) + " bytes exceeds 16384");
        std::vector<uint8_t> skip(static_cast<size_t>(length));
        volume_->read(skip.data(), length, "a chunk");
        continue;
      }
      volume_->read(input_, length, "a chunk");
      const uint8_t* bytes = input_;
      size_t produced = size_t(length);
      if (k > 0) {
        DecodedChunk decoded = decodeChunk(input_, size_t(length), output_);
        if (!decoded.problem.empty()) problem(chunkAt, decoded.problem);
        bytes = output_;
        produced = decoded.produced;
      }
      if (current_ < 0) continue;  // a continuation block without an entry
      EntryInfo& e = info_.entries[current_];
      e.fileSize += produced;
      e.storedSize += uint64_t(length);
      ++e.chunks;
      hash_.update(bytes, produced);
      if (e.kind == EntryKind::FileList) e.data.append(reinterpret_cast<const char*>(bytes), produced);
    }
  }

  // The hash covers every block of the entry read so far; a copy is taken so
  // that a continuation block can still extend it.
  void finishEntry() {
    Sha256 copy = hash_;
    info_.entries[current_].sha256 = copy.finishHex();
  }

  std::string first_;
  ArchiveInfo& info_;
  std::unique_ptr<Volume> volume_;
  int current_ = -1;  // entry whose data is being read
  Sha256 hash_;
  uint8_t input_[kPieceSize];
  uint8_t output_[kPieceSize];
};

}  // namespace

ArchiveInfo readArchive(const std::string& firstVolume) {
  ArchiveInfo info;
  auto reader = std::make_unique<Reader>(firstVolume, info);
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
