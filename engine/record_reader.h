#pragma once
// The archive's record stream, read in one place. A pull reader over a byte
// source yields the header, each entry record (end marker, filler, file
// entry, file list, volume change) and the chunk headers of data blocks, with
// the position each starts at. The restore, its decoding thread and
// setupkit's reader stand on it; each brings a source that reads its volume
// its own way and fails its own way.
//
// A Source provides:
//   int64_t offset();                               the position of the next byte
//   int32_t readInt32(const char* what);            a little-endian integer
//   void readBytes(void* out, int64_t n, const char* what);
//   std::string readText(int32_t n, const char* what);  n >= 0 bytes of text
//   [[noreturn]] void refuse(const char* problem);  a value the format forbids
// where `what` names the field for the source's message when the volume ends.
// header() and next() ask for offset() first, so a source knows where the
// record it reads began.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>

#include "engine/archive_format.h"
#include "framework/core/exceptions.h"
#include "framework/core/stream.h"

namespace archive_format {

struct Header {
  std::string text;
  int32_t totalSize = 0;
  int32_t extra = 0;
};

struct Record {
  enum class Kind { End, Filler, File, FileList, VolumeChange };
  Kind kind = Kind::End;
  std::string name;    // empty for the end marker and fillers
  int nextVolume = 0;  // a volume change's number, 0 when it gives none
  int64_t offset = 0;  // where the record starts
};

struct ChunkHead {
  int32_t field = 0;   // the ChunkLength as stored: 0 ends the block, negative is stored
  int64_t length = 0;  // the chunk's byte count
  int64_t offset = 0;  // where its bytes start (when asked for)
  bool end() const { return field == 0; }
  bool stored() const { return field < 0; }
};

template <class Source>
class RecordReader {
 public:
  explicit RecordReader(Source& source) : s_(source) {}

  Header header() {
    Header h;
    s_.offset();  // where the header starts, for the source's messages
    const int32_t textLength = s_.readInt32("the header");
    if (textLength < 0) s_.refuse("the header text length is negative");
    h.text = s_.readText(textLength, "the header text");
    h.totalSize = s_.readInt32("the header");
    h.extra = s_.readInt32("the header");
    return h;
  }

  // The next entry record's name (a file entry's date follows it: fileDate()).
  Record next() {
    Record r;
    r.offset = s_.offset();
    const int32_t nameLength = s_.readInt32("the entries (no end marker)");
    if (nameLength <= 0) {
      r.kind = nameLength == 0 ? Record::Kind::End : Record::Kind::Filler;
      return r;
    }
    r.name = s_.readText(nameLength, "the entry name");
    if (isVolumeChangeName(r.name)) {
      r.kind = Record::Kind::VolumeChange;
      r.nextVolume = volumeNumberOf(r.name);
    } else {
      r.kind = r.name == kFileListName ? Record::Kind::FileList : Record::Kind::File;
    }
    return r;
  }

  int32_t fileDate() { return s_.readInt32("an entry record"); }

  // Reads the four bytes that open a data block; whether they are its signature.
  bool blockStarts() {
    char signature[4];
    s_.readBytes(signature, 4, "a data block signature");
    return isDataBlockSignature(signature);
  }

  // The next chunk header; its offset is taken only when `withOffset` (a
  // position costs a seek on some sources, and a chunk's is seldom wanted).
  ChunkHead chunk(bool withOffset = true) {
    ChunkHead c;
    c.field = s_.readInt32("a data block");
    c.length = c.field < 0 ? -int64_t(c.field) : int64_t(c.field);
    if (withOffset) c.offset = s_.offset();
    return c;
  }

 private:
  Source& s_;
};

// A source over a stream: a volume that ends early, and a value the format
// forbids, raise EReadError ("Stream read error"). Text is read in pieces as
// it arrives, so a damaged length costs no more memory than the volume holds;
// text longer than `longestText` is refused before it is read.
class StreamSource {
 public:
  explicit StreamSource(TStream& stream, int32_t longestText = INT32_MAX) : s_(stream), longest_(longestText) {}
  int64_t offset() { return s_.position(); }
  int32_t readInt32(const char*) { return s_.readInt32(); }
  void readBytes(void* out, int64_t n, const char*) { s_.readBuffer(out, n); }
  std::string readText(int32_t n, const char*) {
    if (n > longest_) throw EReadError();
    constexpr int64_t kPiece = 65536;
    std::string text;
    for (int64_t left = n; left > 0;) {
      const int64_t piece = std::min(left, kPiece);
      const size_t at = text.size();
      text.resize(at + size_t(piece));
      s_.readBuffer(text.data() + at, piece);
      left -= piece;
    }
    return text;
  }
  [[noreturn]] void refuse(const char*) { throw EReadError(); }

 private:
  TStream& s_;
  int32_t longest_;
};

}  // namespace archive_format
